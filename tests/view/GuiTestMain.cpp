// Entry point of the GUI test programs: the web engine's scheme and context
// set-up must happen before the application object exists.
#include "view/CExplorer1.h"

#include <QApplication>
#include <cstring>
#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
// The browser engine and the toolkit (Debian's Qt libraries) are built without
// the race detector and hand work over in ways it cannot see (futex-based
// locks, their own drawing threads); reports whose stacks run through them are
// not about our code. The engine, the store and the workers are checked without
// any suppression by the non-GUI suites.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libQt6WebEngineCore.so\n"
           "race:QRunnable::create\n"
           "race:QThreadPoolPrivate::enqueueTask\n"
           "race:QThreadPoolThread::run\n"
           "race:libQt6Gui.so\n"
           "race:libQt6Core.so\n"
           "race:libQt6Widgets.so\n"
           "race:libQt6XcbQpa.so\n"
           "race:libQt6OpenGL.so\n"
           "race:libxcb.so\n"
           "race:libglib-2.0.so\n"
           "race:libfontconfig.so\n"
           "race:libfreetype.so\n"
           "mutex:libQt6WebEngineCore.so\n"
           "signal:libQt6WebEngineCore.so\n";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// Debian's browser engine frees one of its own objects through a sized delete
// of another type's size as it starts; the address checker stops at that
// before any test has run. The check stays on in every other test program,
// which runs all of our code that the GUI programs do not.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

int main(int argc, char* argv[])
{
    // Listing the tests (at build time, maybe without a display) needs no application.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) {
            ::testing::InitGoogleTest(&argc, argv);
            return RUN_ALL_TESTS();
        }
    }
    tolvane::CExplorer1::PrepareProcess();
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
