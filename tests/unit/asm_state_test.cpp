// A state from newAsmState, which leaves its tables to calloc's zero bytes,
// against a value-initialised one: a table given a start other than zero, or
// a field left out of the part that is set, shows as a byte that differs.
#include "core/state_memory.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "test_support.h"

namespace qvek::test {
namespace {

TEST(AsmStateStart, NewAsmStateIsAFreshState) {
    const AsmStatePtr made = newAsmState();
    ASSERT_NE(made, nullptr);
    const std::unique_ptr<AsmState> fresh(new AsmState());
    // Where the state lies and the room behind it are newAsmState's own.
    fresh->memory = made->memory;
    fresh->spareTop = made->spareTop;
    fresh->spareEnd = made->spareEnd;
    // Value-initialisation zeroes the padding too, as calloc does.
    const auto* a = reinterpret_cast<const unsigned char*>(made.get());
    const auto* b = reinterpret_cast<const unsigned char*>(fresh.get());
    size_t differ = 0;
    while (differ < sizeof(AsmState) && a[differ] == b[differ]) differ++;
    EXPECT_EQ(differ, sizeof(AsmState)) << "first differing byte at offset " << differ;
    EXPECT_EQ(made->console, stdout);
    EXPECT_EQ(made->labelWidth, kDefaultLabelWidth);
}

// The passes take a block per open file and give them back last first: each
// comes from the room behind the state while it lasts, apart from the others,
// and the room is whole again once they are back. One larger than what is left
// comes from malloc (the leak checks see it freed).
TEST(AsmStateStart, FileBlocksComeFromTheRoomBehindTheState) {
    const AsmStatePtr st = newAsmState();
    ASSERT_NE(st, nullptr);
    const char* const stateEnd = reinterpret_cast<const char*>(st.get() + 1);
    char* const room = st->spareTop;
    ASSERT_GE(room, stateEnd);
    ASSERT_EQ(st->spareEnd, reinterpret_cast<char*>(st.get()) + kStateBlockSize);
    constexpr size_t kBlock = 33000;
    std::vector<char*> given;
    for (;;) {
        char* const block = static_cast<char*>(st->allocate(*st, kBlock));
        ASSERT_NE(block, nullptr);
        given.push_back(block);
        if (block < room || block >= st->spareEnd) break;
        ASSERT_LE(block + kBlock, st->spareEnd);
        if (given.size() > 1) {
            EXPECT_GE(block, given[given.size() - 2] + kBlock);
        }
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % kSpareAlignment, 0u);
        std::memset(block, 0xA5, kBlock);  // the whole block is the caller's to write
    }
    EXPECT_GE(given.size(), kMaxIncludeFiles + 1);
    for (size_t i = given.size(); i-- > 0;) st->release(*st, given[i]);
    EXPECT_EQ(st->spareTop, room);
    EXPECT_EQ(st->allocate(*st, kBlock), room);
    st->release(*st, room);
}

}  // namespace
}  // namespace qvek::test
