#pragma once

// A simulated stream for the IO algorithm tests: no device and no network. A per-test script
// says whether construction, configuration, open and start succeed, and a journal records what
// the algorithm did to the streams it made.

#include <Quorvane/Core/Properties.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace Quorvane {
namespace Testing {

class ScriptedStream : public TrackingStream
{
public:
    struct Script
    {
        bool throwInConstructor = false;
        bool throwInConfigure = false;
        bool openSucceeds = true;
        bool startSucceeds = true;
    };
    struct Journal
    {
        int constructed = 0;
        int destroyed = 0;
        int opened = 0;
        int started = 0;
        std::vector<Properties> configured;
    };

    /// Reset by every test fixture before use (each test runs in its own process, too).
    static Script& script()
    {
        static Script s;
        return s;
    }
    static Journal& journal()
    {
        static Journal j;
        return j;
    }
    static void resetScript()
    {
        script() = Script();
        journal() = Journal();
    }

    ScriptedStream() : TrackingStream("Scripted")
    {
        if (script().throwInConstructor) {
            throw std::runtime_error("no device");
        }
        ++journal().constructed;
    }
    ~ScriptedStream() override
    {
        announceDestruction();
        close();
        ++journal().destroyed;
    }

    void configure(const Properties* properties) override
    {
        if (script().throwInConfigure) {
            throw std::invalid_argument("bad setting");
        }
        journal().configured.push_back(*properties);
        properties->param("serverAddress", m_serverAddress);
    }
    void configuration(Properties* properties) const override
    {
        properties->setParam("serverAddress", m_serverAddress);
    }

protected:
    bool openImpl() override
    {
        ++journal().opened;
        return script().openSucceeds;
    }
    bool startImpl() override
    {
        ++journal().started;
        return script().startSucceeds;
    }
    bool stopImpl() override { return true; }

private:
    std::string m_serverAddress = "unset";
};

}  // namespace Testing
}  // namespace Quorvane
