#include "NetnsSandbox.h"

#include "ShellCommand.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace DoctorTest {

namespace {

bool shell(const std::string& command, std::string* output)
{
    const TestSupport::ShellResult result = TestSupport::runShell(command + " 2>&1");
    if (output != nullptr) *output = result.output;
    return result.succeeded();
}

}  // namespace

std::unique_ptr<NetnsSandbox> NetnsSandbox::create(std::string* whyNot)
{
    if (geteuid() != 0) {
        *whyNot = "network namespaces need root (CI runs as root)";
        return nullptr;
    }
    static std::atomic<int> counter{0};
    const std::string name = "doctor-t" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    std::string output;
    if (!shell("ip netns add " + name, &output)) {
        *whyNot = "cannot create a network namespace: " + output;
        return nullptr;
    }
    std::unique_ptr<NetnsSandbox> sandbox(new NetnsSandbox(name));
    if (!sandbox->exec("ip link set lo up", &output)) {
        *whyNot = "cannot bring up loopback in the namespace: " + output;
        return nullptr;  // the destructor deletes the namespace
    }
    return sandbox;
}

NetnsSandbox::~NetnsSandbox()
{
    // Deleting the namespace removes its interfaces and nftables tables with it.
    shell("ip netns del " + m_name, nullptr);
}

bool NetnsSandbox::exec(const std::string& command, std::string* output) const
{
    return shell("ip netns exec " + m_name + " sh -c '" + command + "'", output);
}

bool NetnsSandbox::run(const std::function<void()>& work) const
{
    bool entered = false;
    std::thread worker([&] {
        const int fd = ::open(("/var/run/netns/" + m_name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        entered = ::setns(fd, CLONE_NEWNET) == 0;
        ::close(fd);
        if (entered) work();
    });
    worker.join();
    return entered;
}

bool haveNft()
{
    return shell("command -v nft", nullptr);
}

}  // namespace DoctorTest
