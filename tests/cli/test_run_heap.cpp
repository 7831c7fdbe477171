// The command line's heap: after the set-up, the heap hands out its next
// blocks from the part reserved in large pages, which the system was asked
// to back with them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "RunHeap.h"

namespace {

// The flags of the mapping that holds Address (/proc/self/smaps), or "".
std::string MappingFlags(uintptr_t Address) {
  std::ifstream In("/proc/self/smaps");
  std::string Line;
  bool Inside = false;
  while (std::getline(In, Line)) {
    unsigned long long Lo = 0, Hi = 0;
    char Dash = 0;
    std::istringstream Head(Line);
    if (Head >> std::hex >> Lo >> Dash >> Hi && Dash == '-') {
      Inside = Address >= Lo && Address < Hi;
    } else if (Inside && Line.rfind("VmFlags:", 0) == 0) {
      return Line.substr(8) + " ";
    }
  }
  return "";
}

}  // namespace

TEST(RunHeap, NextBlocksComeFromThePartInLargePages) {
  const TRunHeap H = SetUpRunHeap();
  if (!H.LargeFrom) GTEST_SKIP() << "the heap is left as it is with this C library or allocator";
  constexpr uintptr_t HugePage = uintptr_t{2} << 20;
  EXPECT_EQ(H.LargeFrom % HugePage, 0u);
  EXPECT_EQ(H.LargeTo % HugePage, 0u);
  EXPECT_GE(H.LargeTo - H.LargeFrom, uintptr_t{16} << 20);
  // A block larger than any the process has freed: the first one of the
  // part, not from below it.
  void* P = std::malloc(size_t{12} << 20);
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(P), H.LargeFrom);
  // The mapping holding it asks for large pages, where the system has them
  // and shows the flags of its mappings.
  const std::string Flags = MappingFlags(H.LargeFrom);
  if (H.Advised && !Flags.empty()) {
    EXPECT_NE(Flags.find(" hg "), std::string::npos) << Flags;
  }
  std::free(P);
}
