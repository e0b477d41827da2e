// A network namespace that one test creates and always deletes: loopback up,
// optional interfaces and nftables rules inside it only, and code run on a
// thread that has entered it (sockets made there stay in the namespace).
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace DoctorTest {

class NetnsSandbox
{
public:
    // Null, with the reason, where no namespace can be made (not root, no `ip`).
    static std::unique_ptr<NetnsSandbox> create(std::string* whyNot);
    ~NetnsSandbox();
    NetnsSandbox(const NetnsSandbox&) = delete;
    NetnsSandbox& operator=(const NetnsSandbox&) = delete;

    const std::string& name() const { return m_name; }
    // Runs a shell command inside the namespace; false (with its output in `output`) when it fails.
    bool exec(const std::string& command, std::string* output = nullptr) const;
    // Runs `work` on a new thread inside the namespace and waits for it.
    bool run(const std::function<void()>& work) const;

private:
    explicit NetnsSandbox(std::string name) : m_name(std::move(name)) {}
    std::string m_name;
};

// True when `nft` can be used inside a namespace.
bool haveNft();

}  // namespace DoctorTest
