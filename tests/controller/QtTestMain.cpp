// main of the Qt suites: a QApplication (offscreen unless told otherwise) and NatNet discovery
// that never leaves this machine.

#include "LoopbackSink.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>

// Qt's offscreen platform plugin never frees its screen (a cycle inside Qt whose stacks end in
// Qt, built without frame pointers). Only those reports are silenced.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libqoffscreen.so\n"
           "leak:QScreen::QScreen\n"
           "leak:QPlatformScreen::QPlatformScreen\n"
           "leak:QWindowSystemInterface::handleScreenAdded\n"
           "leak:QtSharedPointer::ExternalRefCountData::getAndRef\n"
           "leak:QObject::QObject(QObject*)\n";
}

int main(int argc, char** argv)
{
    // ctest sets offscreen for the runs, but not when it lists the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    if (!Quorvane::Support::keepDiscoveryOnLoopback()) {
        std::fprintf(stderr, "cannot point NatNet discovery at loopback; not running\n");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
