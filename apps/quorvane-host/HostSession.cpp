#include "HostSession.h"

#include "FrameQueue.h"
#include "JsonLinesPrinter.h"
#include "LiveTablePrinter.h"
#include "RunStatistics.h"
#include "SettingParser.h"
#include "TerminationSignals.h"

#include <Quorvane/Core/ScopedSignalConnection.h>
#include <Quorvane/Lib/Algorithm.h>
#include <Quorvane/Lib/AlgorithmDescriptor.h>
#include <Quorvane/Lib/ApplicationController.h>
#include <Quorvane/Lib/OwningDataList.h>
#include <Quorvane/Lib/PluginLoader.h>
#include <Quorvane/Stream/Stream.h>
#include <Quorvane/Stream/TrackingStream.h>

#include <sys/stat.h>
#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {

using Clock = std::chrono::steady_clock;

/// Frames an --json run may hold unprinted before it starts dropping (and counting) them:
/// several seconds of a fast tracker, so a briefly slow stdout loses nothing.
constexpr std::size_t kJsonQueueCapacity = 1u << 16;
/// How often the printing thread looks for new frames.
constexpr std::chrono::milliseconds kPollInterval{20};

bool isDirectory(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void loadPlugins(PluginLoader& loader, const std::vector<std::string>& paths, std::ostream& err)
{
    for (const std::string& path : paths) {
        // Failures are logged by the loader, with the reason; the run goes on with the rest.
        if (isDirectory(path)) {
            if (loader.loadDirectory(path).empty()) {
                err << "quorvane-host: no plugins in " << path << "\n";
            }
        } else {
            loader.load(path);
        }
    }
}

}  // namespace
}  // namespace Internal

HostSession::HostSession(const HostOptions& options, std::ostream& out, std::ostream& err, bool interactive)
    : m_options(options), m_out(out), m_err(err), m_interactive(interactive)
{
}

int HostSession::run()
{
    // Bad settings are bad usage: refuse them before anything is loaded.
    Properties properties("quorvane-host");
    for (const std::string& setting : m_options.settings) {
        std::string error;
        if (!parseSetting(setting, properties, error)) {
            m_err << "quorvane-host: " << error << "\n";
            return 2;
        }
    }
    addDefaultFlags(properties);

    // The controller outlives the loader, and everything made from plugin code is destroyed
    // before the loader unloads the modules (see runAlgorithm).
    ApplicationController controller;
    PluginLoader loader(controller);
    Internal::loadPlugins(loader, m_options.pluginPaths, m_err);

    if (m_options.list) {
        listAlgorithms(controller);
    }
    int code = 0;
    if (!m_options.run.empty()) {
        code = runAlgorithm(controller, properties);
    }
    loader.unloadAll();
    return code;
}

void HostSession::listAlgorithms(const ApplicationController& controller)
{
    for (const AlgorithmDescriptor& descriptor : controller.algorithmDescriptors()) {
        m_out << descriptor.displayPath << "\t" << descriptor.name << "\n";
    }
    m_out.flush();
}

int HostSession::runAlgorithm(ApplicationController& controller, const Properties& properties)
{
    if (!controller.algorithmDescriptor(m_options.run)) {
        m_err << "quorvane-host: no algorithm is registered as \"" << m_options.run << "\"";
        const auto descriptors = controller.algorithmDescriptors();
        if (descriptors.empty()) {
            m_err << " (no plugin registered any)";
        } else {
            m_err << "; registered:";
            for (const AlgorithmDescriptor& descriptor : descriptors) {
                m_err << " " << descriptor.name;
            }
        }
        m_err << "\n";
        return 2;
    }
    std::unique_ptr<Algorithm> algorithm = controller.instantiateAlgorithm(m_options.run);
    if (!algorithm) {
        m_err << "quorvane-host: could not create \"" << m_options.run << "\" (see the log)\n";
        return 1;
    }

    algorithm->configure(&properties);
    algorithm->execute();
    if (algorithm->status() != Algorithm::Success) {
        m_err << "quorvane-host: " << m_options.run << " could not start its stream (status "
              << algorithm->status() << ")\n";
        return 1;
    }

    OwningDataList output = algorithm->takeOutput();
    std::unique_ptr<Data> data = output.release(0);
    auto* stream = dynamic_cast<Stream*>(data.get());
    if (stream == nullptr) {
        m_err << "quorvane-host: " << m_options.run << " handed out no stream\n";
        return 1;
    }

    watch(dynamic_cast<TrackingStream*>(stream));

    stream->close();
    data.reset();
    algorithm.reset();
    return 0;
}

void HostSession::watch(TrackingStream* stream)
{
    using Internal::Clock;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = m_options.durationS > 0.0
                                           ? start + std::chrono::duration_cast<Clock::duration>(
                                                         std::chrono::duration<double>(m_options.durationS))
                                           : Clock::time_point::max();

    FrameQueue queue(m_options.json ? FrameQueue::Mode::EveryFrame : FrameQueue::Mode::LatestOnly,
                     Internal::kJsonQueueCapacity);
    std::unique_ptr<InstrumentPrinter> printer;
    if (m_options.json) {
        printer = std::make_unique<JsonLinesPrinter>(m_out);
    } else {
        printer = std::make_unique<LiveTablePrinter>(
            m_out, m_interactive,
            m_interactive ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1000));
    }
    RunStatistics statistics(start);

    // Runs on the stream's receive thread: copy, queue, return. No output, no waiting.
    // Scoped, so that it ends before the queue also when a printer throws.
    ScopedSignalConnection connection;
    if (stream != nullptr) {
        connection = stream->instrumentsUpdated.connect(
            [&queue, stream](InstrumentModifications) { queue.push(Clock::now(), stream->instruments()); });
    }

    bool limitReached = false;
    auto drain = [&]() {
        for (const FrameSnapshot& snapshot : queue.takeAll()) {
            if (limitReached || (m_options.frames != 0 && snapshot.frame > m_options.frames)) {
                limitReached = true;
                break;
            }
            printer->frame(snapshot, statistics.apply(snapshot));
            limitReached = m_options.frames != 0 && snapshot.frame >= m_options.frames;
        }
    };

    while (!TerminationSignals::requested() && !limitReached && m_out.good()) {
        drain();
        const Clock::time_point now = Clock::now();
        printer->refresh(now);
        if (now >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(Internal::kPollInterval, deadline - now));
    }

    // Once disconnect() returns no listener call runs any more, so the queue is complete.
    connection.disconnect();
    drain();
    statistics.setFrameCounts(
        m_options.frames != 0 ? std::min(queue.framesSeen(), m_options.frames) : queue.framesSeen(),
        queue.framesDropped());
    printer->finish(statistics.summary(Clock::now()), Clock::now());
}

}  // namespace Host
}  // namespace Quorvane
