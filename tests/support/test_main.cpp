#include <gtest/gtest.h>

#include "db/client.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>

// The Firebird client library (and the embedded engine it loads) is a third party whose
// exit handlers race with LeakSanitizer's check at exit, so every suite checks for leaks
// itself at the end of main (below). Two settings make that check sound:
//  - LeakSanitizer's record of the dynamic TLS of the client's own thread is garbage on
//    this system (the checker dies with "Tracer caught signal 11" whenever that thread is
//    alive). Our code keeps no pointers in dynamic TLS, so it is not tracked at all.
//  - The client keeps caches (iconv converters, big-number state) in memory it maps
//    itself, where the checker cannot see them, until its exit handlers free them.
//    Allocations made inside the client are not ours to check.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfbclient.so\n"
         "leak:libEngine12.so\n";
}
#endif

namespace {

// Checks for leaks while the client's remaining thread still waits quietly on live
// memory: at exit the library's handlers tear that memory down while the thread runs,
// and the checker's stop of every thread then crashes the process now and then. The
// check runs once, so none is left for exit.
void CheckForLeaksBeforeExit() {
#if defined(__SANITIZE_ADDRESS__)
  __lsan_do_leak_check();
#endif
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  // As the program does: the embedded engine's threads end before the process does.
  qdz::db::ShutdownClient();
  CheckForLeaksBeforeExit();
  return result;
}
