// A state from newAsmState, which leaves its tables to calloc's zero bytes,
// against a value-initialised one: a table given a start other than zero, or
// a field left out of the part that is set, shows as a byte that differs.
#include "core/asm_state.h"

#include <cstring>
#include <memory>

#include "test_support.h"

namespace qvek::test {
namespace {

TEST(AsmStateStart, NewAsmStateIsAFreshState) {
    const AsmStatePtr made = newAsmState();
    ASSERT_NE(made, nullptr);
    const std::unique_ptr<AsmState> fresh(new AsmState());
    // Value-initialisation zeroes the padding too, as calloc does.
    const auto* a = reinterpret_cast<const unsigned char*>(made.get());
    const auto* b = reinterpret_cast<const unsigned char*>(fresh.get());
    size_t differ = 0;
    while (differ < sizeof(AsmState) && a[differ] == b[differ]) differ++;
    EXPECT_EQ(differ, sizeof(AsmState)) << "first differing byte at offset " << differ;
    EXPECT_EQ(made->console, stdout);
    EXPECT_EQ(made->labelWidth, kDefaultLabelWidth);
}

}  // namespace
}  // namespace qvek::test
