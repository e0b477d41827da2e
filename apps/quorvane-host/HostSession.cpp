#include "HostSession.h"

#include "FrameQueue.h"
#ifdef QUORVANE_HOST_OPENIGTLINK
#include "IgtlServer.h"
#endif
#include "JsonLinesPrinter.h"
#include "LiveTablePrinter.h"
#include "OutputWriter.h"
#include "RunStatistics.h"
#include "SettingParser.h"
#include "TerminalSize.h"
#include "TerminationSignals.h"

#include <common/DoctorHint.h>
#include <common/ListenerFailures.h>

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
#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

namespace Quorvane {
namespace Host {

namespace Internal {
namespace {

using Clock = std::chrono::steady_clock;

/// Snapshots an --json run may hold unprinted before it drops (and counts) frames: some 6000
/// frames of three instruments, seconds of a fast tracker, so a briefly slow stdout loses
/// nothing, while a stdout that nobody reads costs no more than this.
constexpr std::size_t kJsonQueueBytes = std::size_t{4} << 20;
/// Text waiting for stdout before the printing stops taking frames.
constexpr std::size_t kOutputBytes = std::size_t{1} << 20;
/// How often the printing thread looks for new frames.
constexpr std::chrono::milliseconds kPollInterval{20};
/// The longest the printing thread formats frames before it looks at the clock and signals.
constexpr std::chrono::milliseconds kDrainSlice{100};
/// What the end of a run may spend on the last queued frames, and on writing what is left once
/// everything is shut down: with the shutdown itself the run ends well within a second of
/// --duration.
constexpr std::chrono::milliseconds kLastFramesBudget{250};
constexpr std::chrono::milliseconds kFinalFlushBudget{200};

/// Waits for the output to be written: kFinalFlushBudget, and longer (up to kFinalFlushLimit)
/// while a reader is taking it, so that a slow but live reader still gets the summary; a stdout
/// that nobody reads costs no more than the budget.
constexpr std::chrono::milliseconds kFinalFlushLimit{600};
bool flushWhileReaderKeepsUp(OutputWriter& output)
{
    const Clock::time_point start = Clock::now();
    Clock::time_point until = start + kFinalFlushBudget;
    std::size_t left = output.pendingBytes();
    while (!output.flush(until)) {
        const std::size_t now = output.pendingBytes();
        if (output.failed() || now >= left || until >= start + kFinalFlushLimit) {
            return false;
        }
        left = now;
        until = std::min(until + std::chrono::milliseconds(100), start + kFinalFlushLimit);
    }
    return true;
}

bool isDirectory(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

/// Loads every path; false when one of them gave no plugin (the loader logged why).
bool loadPlugins(PluginLoader& loader, const std::vector<std::string>& paths, std::ostream& err)
{
    bool allLoaded = true;
    for (const std::string& path : paths) {
        bool loaded = false;
        if (isDirectory(path)) {
            for (const PluginLoadResult& result : loader.loadDirectory(path)) {
                loaded = loaded || result.ok();
            }
        } else {
            loaded = loader.load(path).ok();
        }
        if (!loaded) {
            err << "quorvane-host: no plugin loaded from " << path << " (see the log)\n";
            allLoaded = false;
        }
    }
    return allLoaded;
}

/// Moves what the printer wrote into the output.
void publish(std::ostringstream& text, OutputWriter& output)
{
    std::string pending = text.str();
    if (!pending.empty()) {
        output.write(std::move(pending));
        text.str(std::string());
    }
}

}  // namespace
}  // namespace Internal

HostSession::HostSession(const HostOptions& options, int outFd, std::ostream& err, bool interactive)
    : m_options(options), m_outFd(outFd), m_err(err), m_interactive(interactive)
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

    OutputWriter output(m_outFd, Internal::kOutputBytes);
    // The controller outlives the loader, and everything made from plugin code is destroyed
    // before the loader unloads the modules (see runAlgorithm).
    ApplicationController controller;
    PluginLoader loader(controller);
    int code = 0;
    if (!Internal::loadPlugins(loader, m_options.pluginPaths, m_err)) {
        code = 1;
    } else {
        if (m_options.list) {
            listAlgorithms(controller, output);
        }
        if (!m_options.run.empty()) {
            code = runAlgorithm(controller, properties, output);
        }
    }
    loader.unloadAll();
    if (!Internal::flushWhileReaderKeepsUp(output)) {
        m_err << "quorvane-host: " << output.pendingBytes() << " bytes of output were not written\n";
    }
    return code;
}

void HostSession::listAlgorithms(const ApplicationController& controller, OutputWriter& output)
{
    std::ostringstream text;
    for (const AlgorithmDescriptor& descriptor : controller.algorithmDescriptors()) {
        text << descriptor.displayPath << "\t" << descriptor.name << "\n";
    }
    Internal::publish(text, output);
}

int HostSession::runAlgorithm(ApplicationController& controller, const Properties& properties,
                              OutputWriter& output)
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
        if (m_options.run.rfind("OptiTrack.", 0) == 0) {
            // The settings the stream was given, which the doctor then examines the same way.
            Properties used;
            algorithm->configuration(&used);
            m_err << AppsCommon::doctorHint("quorvane-host", used) << "\n";
        }
        return 1;
    }

    OwningDataList dataList = algorithm->takeOutput();
    std::unique_ptr<Data> data = dataList.release(0);
    auto* stream = dynamic_cast<Stream*>(data.get());
    if (stream == nullptr) {
        m_err << "quorvane-host: " << m_options.run << " handed out no stream\n";
        return 1;
    }

    const bool watched = watch(dynamic_cast<TrackingStream*>(stream), output);

    stream->close();
    data.reset();
    algorithm.reset();
    return watched ? 0 : 1;
}

bool HostSession::watch(TrackingStream* stream, OutputWriter& output)
{
    using Internal::Clock;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = m_options.durationS > 0.0
                                           ? start + std::chrono::duration_cast<Clock::duration>(
                                                         std::chrono::duration<double>(m_options.durationS))
                                           : Clock::time_point::max();
    const bool everyFrame = m_options.json;
    const std::uint64_t frameLimit = m_options.frames;

    std::ostringstream text;
    std::unique_ptr<InstrumentPrinter> printer;
    if (everyFrame) {
        printer = std::make_unique<JsonLinesPrinter>(text);
    } else {
        const int outFd = m_outFd;
        printer = std::make_unique<LiveTablePrinter>(
            text, m_interactive,
            m_interactive ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1000),
            [outFd] { return terminalSize(outFd); });
    }
    RunStatistics statistics(start);
    FrameQueue queue(Internal::kJsonQueueBytes);  // every frame, for JSON Lines
    std::atomic<std::uint64_t> framesCounted{0};  // frames only, for the table
    AppsCommon::ListenerFailures failures("quorvane-host", "the update listener");
#ifdef QUORVANE_HOST_OPENIGTLINK
    // Its own threads read the stream; the listener only tells it that a frame came.
    std::unique_ptr<IgtlServer> igtl;
    if (m_options.igtlPort != 0 && stream != nullptr) {
        igtl = std::make_unique<IgtlServer>(m_options.igtlAddress, m_options.igtlPort, m_options.igtlRate,
                                            [stream] { return stream->instruments(); });
        std::string error;
        if (!igtl->start(error)) {
            m_err << "quorvane-host: OpenIGTLink server: " << error << "\n";
            return false;
        }
        m_err << "quorvane-host: OpenIGTLink server on " << m_options.igtlAddress << ":" << igtl->port()
              << "\n";
    }
    IgtlServer* const igtlServer = igtl.get();
#endif

    // Runs on the stream's receive thread: copy (JSON) or count (table), return. No output, no
    // waiting, nothing thrown. Declared after what it uses, so it ends first whatever ends this
    // function.
    ScopedSignalConnection connection;
    if (stream != nullptr) {
        connection = stream->instrumentsUpdated.connect([&, stream](InstrumentModifications) {
            failures.guard([&] {
                if (everyFrame) {
                    queue.push(Clock::now(), [stream] { return stream->instruments(); });
                } else {
                    framesCounted.fetch_add(1, std::memory_order_relaxed);
                }
#ifdef QUORVANE_HOST_OPENIGTLINK
                if (igtlServer != nullptr) {
                    igtlServer->frameArrived();
                }
#endif
            });
        });
    }

    bool limitReached = false;
    auto show = [&](const FrameSnapshot& snapshot) {
        printer->frame(snapshot, statistics.apply(snapshot));
        Internal::publish(text, output);
        limitReached = frameLimit != 0 && snapshot.frame >= frameLimit;
    };
    // JSON: queued frames in order, while stdout keeps up and until `until`.
    auto drainQueue = [&](Clock::time_point until) {
        FrameSnapshot snapshot;
        while (!limitReached && output.hasRoom() && Clock::now() < until && queue.pop(snapshot)) {
            if (frameLimit != 0 && snapshot.frame > frameLimit) {
                limitReached = true;
                break;
            }
            show(snapshot);
        }
    };
    // Table: the stream's instruments as they are now, when a frame came since the last look.
    std::uint64_t sampledFrame = 0;
    auto sampleStream = [&]() {
        const std::uint64_t counted = framesCounted.load(std::memory_order_relaxed);
        if (stream == nullptr || counted == sampledFrame || limitReached) {
            return;
        }
        sampledFrame = counted;
        FrameSnapshot snapshot;
        snapshot.frame = frameLimit != 0 ? std::min(counted, frameLimit) : counted;
        snapshot.receivedAt = Clock::now();
        snapshot.instruments = stream->instruments();
        show(snapshot);
    };

    while (!TerminationSignals::requested() && !limitReached && !output.failed()) {
        const Clock::time_point now = Clock::now();
        if (everyFrame) {
            drainQueue(std::min(deadline, now + Internal::kDrainSlice));
        } else {
            sampleStream();
        }
        printer->refresh(Clock::now());
        Internal::publish(text, output);
        const Clock::time_point after = Clock::now();
        if (after >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(Internal::kPollInterval, deadline - after));
    }

    // Once disconnect() returns no listener call runs any more, so the queue is complete.
    connection.disconnect();
    std::uint64_t notShown = 0;
    if (everyFrame) {
        // The last frames while there is time and room; the rest only count.
        drainQueue(Clock::now() + Internal::kLastFramesBudget);
        FrameSnapshot snapshot;
        FrameSnapshot lastNotShown;
        while (queue.pop(snapshot)) {
            if (frameLimit == 0 || snapshot.frame <= frameLimit) {
                ++notShown;
                lastNotShown = std::move(snapshot);
            }
        }
        if (notShown != 0) {
            statistics.apply(lastNotShown);  // the store's counters bring the updates up to date
        }
    } else {
        sampleStream();
    }
    const std::uint64_t seen = everyFrame ? queue.framesSeen() : framesCounted.load();
    statistics.setFrameCounts(frameLimit != 0 ? std::min(seen, frameLimit) : seen,
                              queue.framesDropped() + notShown);
    RunSummary summary = statistics.summary(Clock::now());
#ifdef QUORVANE_HOST_OPENIGTLINK
    if (igtl) {
        igtl->stop();
        summary.igtl = true;
        summary.igtlTotals = igtl->totals();
    }
#endif
    printer->finish(summary, Clock::now());
    // Written while the stream shuts down; run() waits for it at the very end.
    Internal::publish(text, output);
    if (failures.count() != 0) {
        m_err << "quorvane-host: the update listener failed " << failures.count() << " times (see the log)\n";
    }
    return true;
}

}  // namespace Host
}  // namespace Quorvane
