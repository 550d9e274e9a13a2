// The main of every test program: GoogleTest on the library's user-interface thread, with the
// library started the way an application starts it.
#include <gtest/gtest.h>

#include <cstdio>

#include "package/KestrixVcl.h"

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);  // a crash must not swallow what was already printed
  testing::InitGoogleTest(&argc, argv);
  kestrix::TKestrixLibrary library;
  return RUN_ALL_TESTS();
}
