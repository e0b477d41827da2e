// main of the Qt suites: a QApplication, offscreen unless told otherwise. Suites that need more
// before their first test (NatNet discovery kept on loopback, ...) add a GoogleTest environment.

#include <QApplication>

#include <gtest/gtest.h>

// Qt's offscreen platform plugin never frees its screen (a cycle inside Qt whose stacks end in
// Qt, built without frame pointers). Only those reports are silenced.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): LeakSanitizer's hook
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions();
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): LeakSanitizer's hook
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libqoffscreen.so\n"
           "leak:QScreen::QScreen\n"
           "leak:QPlatformScreen::QPlatformScreen\n"
           "leak:QWindowSystemInterface::handleScreenAdded\n"
           "leak:QtSharedPointer::ExternalRefCountData::getAndRef\n"
           "leak:QObject::QObject(QObject*)\n";
}

// Qt is not built with ThreadSanitizer, so TSan cannot see the locks with which Qt hands a posted
// event from one thread to another, and reports Qt's own allocation and release of that event.
// Interceptors called from inside Qt's libraries are ignored; our code stays fully checked.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): ThreadSanitizer's hook
extern "C" __attribute__((visibility("default"), used)) const char* __tsan_default_suppressions();
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): ThreadSanitizer's hook
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt5Core.so.5\n"
           "called_from_lib:libQt5Gui.so.5\n"
           "called_from_lib:libQt5Widgets.so.5\n";
}

int main(int argc, char** argv)
{
    // ctest sets offscreen for the runs, but not when it lists the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
