#pragma once

#include <Quorvane/Core/SignalBase.h>
#include <Quorvane/Core/SignalReceiver.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace Quorvane {

namespace Internal {
template <class... Args>
struct TypedSlot final : SlotState
{
    explicit TypedSlot(std::function<void(Args...)> f) : function(std::move(f)) {}
    std::function<void(Args...)> function;
};
}  // namespace Internal

/// A signal with N arguments of the types Args...: SignalImpl<0> has none,
/// SignalImpl<1, Flags<X>> one, and so on (N must equal the number of types;
/// Signal<Args...> is the same without writing N). See SignalBase for the thread
/// and disconnection rules.
template <std::size_t N, class... Args>
class SignalImpl : public SignalBase
{
    static_assert(N == sizeof...(Args), "SignalImpl<N, Args...>: N is the number of argument types");

public:
    using Function = std::function<void(Args...)>;

    /// Connects a callable; the connection lasts until it is disconnected.
    SignalConnection connect(Function function)
    {
        return connectSlot(std::make_shared<Internal::TypedSlot<Args...>>(std::move(function)), nullptr);
    }

    /// Connects a callable for `receiver`: disconnected at the latest when the
    /// receiver is destroyed.
    SignalConnection connect(SignalReceiver* receiver, Function function)
    {
        return connectSlot(std::make_shared<Internal::TypedSlot<Args...>>(std::move(function)), receiver);
    }

    /// Connects a member function of a receiver (a SignalReceiver subclass).
    template <class R, class M>
    SignalConnection connect(R* receiver, void (M::*method)(Args...))
    {
        static_assert(std::is_base_of<SignalReceiver, R>::value && std::is_base_of<M, R>::value,
                      "the receiver must be a SignalReceiver with this member function");
        return connect(static_cast<SignalReceiver*>(receiver), [receiver, method](Args... args) {
            (receiver->*method)(std::forward<Args>(args)...);
        });
    }

    /// Calls every connected slot in connection order, on the calling thread, unless
    /// the signal is blocked. Slots connected during the emission are called from the
    /// next emission on; slots disconnected during it are not called any more.
    /// An exception thrown by a slot is logged (level 4, category "Signal") and does not
    /// leave emitSignal(); the remaining slots are still called.
    void emitSignal(const Args&... args) const
    {
        if (isBlocked()) {
            return;
        }
        const std::shared_ptr<const Internal::SlotList> slotList = snapshot();
        if (!slotList) {
            return;
        }
        for (const std::shared_ptr<Internal::SlotState>& slot : *slotList) {
            Internal::SlotCall call(*slot);
            if (call.entered()) {
                try {
                    static_cast<Internal::TypedSlot<Args...>&>(*slot).function(args...);
                } catch (...) {
                    Internal::reportSlotException();
                }
            }
        }
    }
};

/// The same signal without writing the argument count.
template <class... Args>
using Signal = SignalImpl<sizeof...(Args), Args...>;

}  // namespace Quorvane
