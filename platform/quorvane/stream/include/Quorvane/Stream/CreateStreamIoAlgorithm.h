#pragma once

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/NotCopyable.h>
#include <Quorvane/Core/Properties.h>
#include <Quorvane/Lib/OwningDataList.h>
#include <Quorvane/Stream/Stream.h>
#include <Quorvane/Stream/StreamExport.h>
#include <Quorvane/Stream/StreamIoAlgorithm.h>

#include <exception>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>

namespace Quorvane {

/// The IO algorithm that every stream plugin registers for its stream class: it takes no
/// input, and `execute()` creates a new `TStream`, configures it with the last properties
/// given to `configure()` and, as the flag keys say, opens and starts it. The stream is the
/// algorithm's output; the host takes it with `takeOutput()`.
///
/// Flag keys (bool), read by `configure()`; for each flag the first key present wins:
///   open on execute:  "open", then "autoOpen", then "connect"
///   start on execute: "start", then "autoStart" (only after a successful open)
/// Both flags start false; a key that is absent leaves its flag as it was.
///
/// `A` and `B` select variants of the host's stream algorithms; plugins that need none pass 0.
///
/// Ownership: the algorithm owns its current stream (`heldStream`) until `takeOutput()` hands
/// it out. A stream that was not handed out is destroyed by the next `execute()`, by
/// `clearStream()` and by the algorithm's destructor, so nothing is leaked and nothing that
/// was handed out is destroyed twice. After `takeOutput()`, `currentStream()` still names the
/// stream (the host's now) until the next `execute()` or `clearStream()`.
///
/// Failures: a standard exception while constructing, configuring, opening or starting the new
/// stream is logged at level 4 in the category "CreateStreamIoAlgorithm" ("Could not
/// instantiate a new Stream: " and the exception's text); that stream is destroyed, the
/// algorithm holds no stream, and the status is 1. An `open` or `start` that returns false
/// sets status 1 and keeps the stream (it reported its own failure). Nothing is thrown.
///
/// Called on the host's calling thread; not thread-safe.
template <class TStream, int A, int B>
class QUORVANE_STREAM_EXPORT CreateStreamIoAlgorithm : public StreamIoAlgorithm, private Utils::NotCopyable
{
    static_assert(std::is_base_of<Stream, TStream>::value,
                  "CreateStreamIoAlgorithm<TStream>: TStream must be a Stream");
    static_assert(std::is_default_constructible<TStream>::value,
                  "CreateStreamIoAlgorithm<TStream>: TStream must be default-constructible");

public:
    CreateStreamIoAlgorithm() = default;

    /// Destroys the stream unless it was handed out, then the stored properties.
    ~CreateStreamIoAlgorithm() override
    {
        CreateStreamIoAlgorithm::clearStream();
        m_storedProperties.reset();
    }

    // StreamAlgorithmBase side

    /// The current stream (handed out or not), or null.
    Stream* currentStream() const override { return m_heldStream; }

    /// Hands the current stream out once; see StreamAlgorithmBase::takeOutput().
    OwningDataList takeOutput() override { return StreamIoAlgorithm::takeOutput(); }

    /// Destroys the current stream unless it was handed out; afterwards there is none and
    /// `outputTaken` is clear.
    void clearStream() override
    {
        TStream* doomed = outputTaken() ? nullptr : m_heldStream;
        // Forget it first: the stream's destruction signals may ask for currentStream().
        m_heldStream = nullptr;
        StreamAlgorithmBase::clearStream();
        delete doomed;
    }

    // IoAlgorithm side

    /// Stores a copy of `properties` (replacing the previous copy as a whole), hands them at
    /// once to the current stream, if any, and reads the flag keys. Null does nothing.
    void configure(const Properties* properties) override
    {
        if (properties == nullptr) {
            return;
        }
        auto copy = std::make_unique<Properties>();
        copy->copyFrom(*properties);
        m_storedProperties = std::move(copy);

        if (m_heldStream != nullptr) {
            try {
                m_heldStream->configure(properties);
            } catch (const std::exception& e) {
                logFailure("Could not configure the Stream: ", e.what());
            } catch (...) {
                logFailure("Could not configure the Stream: ", "unknown exception");
            }
        }

        readFlag(*properties, {"open", "autoOpen", "connect"}, m_openOnExecute);
        readFlag(*properties, {"start", "autoStart"}, m_startOnExecute);
    }

    /// The current stream's configuration if there is a stream, else the stored copy of the
    /// last configuration, else nothing. Null does nothing.
    void configuration(Properties* properties) const override
    {
        if (properties == nullptr) {
            return;
        }
        if (m_heldStream != nullptr) {
            m_heldStream->configuration(properties);
        } else if (m_storedProperties) {
            properties->copyFrom(*m_storedProperties);
        }
    }

    /// Replaces the current stream by a new one, configured, opened and started as the flags
    /// say. Status 0 on success, 1 on failure.
    void execute() override
    {
        std::unique_ptr<TStream> fresh;
        try {
            fresh = std::make_unique<TStream>();
        } catch (const std::exception& e) {
            failExecute(e.what());
            return;
        } catch (...) {
            failExecute("unknown exception");
            return;
        }

        clearStream();
        // Held (so currentStream() names it while it opens) but owned by `fresh` until it
        // got through: a stream that threw is destroyed here and never handed out.
        m_heldStream = fresh.get();
        try {
            if (m_storedProperties) {
                m_heldStream->configure(m_storedProperties.get());
            }
            bool success = true;
            if (m_openOnExecute) {
                success = m_heldStream->open();
                if (m_startOnExecute && success) {
                    success = m_heldStream->start();
                }
            }
            static_cast<void>(fresh.release());  // it got through: m_heldStream owns it now
            setStatus(success ? Success : Failure);
        } catch (const std::exception& e) {
            m_heldStream = nullptr;
            failExecute(e.what());
        } catch (...) {
            m_heldStream = nullptr;
            failExecute("unknown exception");
        }
    }

private:
    static void readFlag(const Properties& properties, std::initializer_list<const char*> keys, bool& flag)
    {
        for (const char* key : keys) {
            if (properties.has(key)) {
                // A value that is not a bool is refused (and logged) by Properties; the flag
                // then keeps its value and the later keys are not consulted.
                properties.param(key, flag);
                return;
            }
        }
    }

    static void logFailure(const char* what, const std::string& reason)
    {
        if (Log::g_globalLevel <= Log::Error && Log::isAccepted(Log::Error, "CreateStreamIoAlgorithm")) {
            std::ostringstream message;
            message << what << reason;
            Log::log(Log::Error, "CreateStreamIoAlgorithm", message.str(), "", -1);
        }
    }

    /// Ends a failed execute(): no stream left (the previous one is dropped as a successful
    /// execute() would have), status 1.
    void failExecute(const std::string& reason)
    {
        logFailure("Could not instantiate a new Stream: ", reason);
        clearStream();
        setStatus(Failure);
    }

    TStream* m_heldStream = nullptr;
    std::unique_ptr<Properties> m_storedProperties;
    bool m_openOnExecute = false;
    bool m_startOnExecute = false;
};

}  // namespace Quorvane
