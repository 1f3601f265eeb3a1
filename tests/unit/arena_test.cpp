// Value storage: inline values, block sizes and alignment, compaction,
// the chunk list, reference counts and the reuse of a slot's block.
#include "interpreter_fixture.h"
#include <cstring>
#include <string>
#include "core/arena.h"
#include "core/tables.h"
#include "core/storage.h"

#define arena_output captured_output()

class ArenaTest : public InterpreterFixture {
protected:
    static i64 new_slot() { return alloc_table_entry('V', -1); }
    static ValueDescriptor *slot(i64 s) { return &value_slot_table[s]; }
    static i64 fill_ints(i64 s, i64 n, i64 base) {
        slot(s)->type = T_INT;
        EXPECT_EQ(alloc_slot_value(s, T_INT, 1, n), 0);
        set_slot_shape(s, 1, n, n, 0);
        i64 *p = (i64 *)slot(s)->data;
        for (i64 i = 0; i < n; i++) p[i] = base + i;
        return n;
    }
    static bool ints_intact(i64 s, i64 n, i64 base) {
        const i64 *p = (const i64 *)slot(s)->data;
        for (i64 i = 0; i < n; i++)
            if (p[i] != base + i) return false;
        return true;
    }
    // Stack-end temporaries until fewer than 1032 bytes are left between the
    // ends; the next free temporary slot.
    static i64 fill_stack_end_to_the_heap_end() {
        i64 t = FIRST_TEMP_SLOT;
        while (r15 - stacktop >= 65536) {
            slot(t)->type = T_CHAR;
            EXPECT_EQ(alloc_slot_value(t, T_CHAR, 1, 65000), 0);
            t++;
        }
        while (r15 - stacktop >= 1032) {
            slot(t)->type = T_CHAR;
            EXPECT_EQ(alloc_slot_value(t, T_CHAR, 1, 1000), 0);
            t++;
        }
        return t;
    }
    static i64 chunk_count() {
        i64 n = 0;
        for (ChunkHeader *c = chunk_list_head->next; c; c = c->next) n++;
        return n;
    }
};

TEST_F(ArenaTest, InlineValuesAndBlockSizes) {
    i64 s = new_slot();
    slot(s)->type = T_INT;
    ASSERT_EQ(alloc_slot_value(s, T_INT, 1, 1), 0);
    EXPECT_EQ(slot(s)->capacity, 0);
    EXPECT_EQ(value_data(slot(s)), (void *)&slot(s)->dim0);

    slot(s)->type = T_CHAR;
    ASSERT_EQ(alloc_slot_value(s, T_CHAR, 1, 3), 0);
    EXPECT_TRUE(in_heap_end(slot(s)->data));
    EXPECT_EQ(((char *)slot(s)->data)[3], 0);
    EXPECT_EQ(data_bytes(T_CHAR, 0), 0);

    i64 f = new_slot();
    slot(f)->type = T_FLOAT;
    ASSERT_EQ(alloc_slot_value(f, T_FLOAT, 1, 8192), 0);
    EXPECT_TRUE(in_arena(slot(f)->data));
    slot(f)->type = T_FLOAT;
    ASSERT_EQ(alloc_slot_value(f, T_FLOAT, 1, 8193), 0);
    EXPECT_FALSE(in_arena(slot(f)->data));
    EXPECT_EQ(chunk_count(), 1);
    EXPECT_EQ(data_bytes(T_INT, INT64_MAX / 2), -1) << "oversized requests are refused, not wrapped";
}

TEST_F(ArenaTest, BlocksStayAlignedAfterOddSizes) {
    for (i64 n = 1; n < 12; n++) {
        i64 s = new_slot();
        slot(s)->type = T_CHAR;
        ASSERT_EQ(alloc_slot_value(s, T_CHAR, 1, n * 3 + 2), 0);
        EXPECT_EQ((uintptr_t)slot(s)->data % 8, 0u) << "char block " << n;
        i64 t = FIRST_TEMP_SLOT + n;
        slot(t)->type = T_CHAR;
        ASSERT_EQ(alloc_slot_value(t, T_CHAR, 1, n * 5 + 1), 0);
        EXPECT_EQ((uintptr_t)slot(t)->data % 8, 0u) << "stack block " << n;
    }
    EXPECT_EQ(r15 % 8, 0);
    EXPECT_EQ(stacktop % 8, 0);
}

TEST_F(ArenaTest, CompactionKeepsDataAndMovesOwners) {
    i64 slots[40];
    for (int i = 0; i < 40; i++) {
        slots[i] = new_slot();
        fill_ints(slots[i], 10 + i, 1000 * i);
    }
    i64 before = r15;
    i64 freed = 0;
    for (int i = 0; i < 40; i += 2) {
        freed += slot(slots[i])->capacity + (i64)sizeof(HeapBlockTrailer);
        release_slot(slots[i]);
    }
    compact_heap();
    EXPECT_EQ(r15, before + freed);
    for (int i = 1; i < 40; i += 2) {
        ASSERT_TRUE(ints_intact(slots[i], 10 + i, 1000 * i)) << "slot " << i;
        EXPECT_TRUE(in_heap_end(slot(slots[i])->data));
        EXPECT_EQ(adjust_refcount(slot(slots[i]), 0), 1);
    }
    // A descriptor moved to another slot without telling the arena is still
    // found and updated when its block moves.
    i64 mover = slots[39], target = new_slot();
    *slot(target) = *slot(mover);
    memset(slot(mover), 0, sizeof(ValueDescriptor));
    release_slot(slots[1]);
    compact_heap();
    EXPECT_TRUE(ints_intact(target, 49, 39000));
    compact_heap();
    EXPECT_TRUE(ints_intact(target, 49, 39000));
}

TEST_F(ArenaTest, EndsMeetingCompactsInsteadOfFallingBack) {
    i64 keep = new_slot();
    fill_ints(keep, 100, 7);
    i64 churn = new_slot();
    // Each round needs a bigger block, so the old one becomes garbage.
    for (i64 round = 0; round < 3000; round++) fill_ints(churn, 2 + round % 4000, round);
    // Bring the stack end up close to the heap end, then grow again.
    i64 t = FIRST_TEMP_SLOT;
    slot(t)->type = T_CHAR;
    ASSERT_EQ(alloc_slot_value(t, T_CHAR, 1, 60000), 0);
    while (r15 - stacktop > 70000) {
        i64 u = ++t;
        ASSERT_LE(u, LAST_TEMP_SLOT);
        slot(u)->type = T_CHAR;
        ASSERT_EQ(alloc_slot_value(u, T_CHAR, 1, 60000), 0);
    }
    for (i64 round = 0; round < 200; round++) fill_ints(churn, 3000 + round, round);
    EXPECT_TRUE(ints_intact(keep, 100, 7));
    EXPECT_TRUE(ints_intact(churn, 3199, 199));
    EXPECT_GE(r15, stacktop);
    EXPECT_EQ(arena_output.find("dectp"), std::string::npos) << "compaction made room";
    EXPECT_EQ(chunk_count(), 0);
}

TEST_F(ArenaTest, FullArenaFallsBackToACountedChunk) {
    fill_stack_end_to_the_heap_end();
    i64 s = new_slot();
    fill_ints(s, 200, 5);
    EXPECT_NE(arena_output.find("dectp,r = 200"), std::string::npos);
    EXPECT_FALSE(in_arena(slot(s)->data));
    EXPECT_EQ(adjust_refcount(slot(s), 0), 1) << "a fallback block is counted";
    EXPECT_TRUE(ints_intact(s, 200, 5));
    i64 before = chunk_count();
    release_slot(s);
    EXPECT_EQ(chunk_count(), before - 1);
    // the next assignment with room does not reuse the released block
    reset_stack();
    fill_ints(s, 200, 9);
    EXPECT_TRUE(in_arena(slot(s)->data));
    EXPECT_EQ(alloc_result, slot(s)->data);
}

// The arena itself says nothing when its ends meet: it answers ARENA_FULL
// and leaves the descriptor alone; the slot storage says it and falls back.
TEST_F(ArenaTest, MeetingEndsAreAnsweredNotPrinted) {
    i64 t = fill_stack_end_to_the_heap_end();
    arena_output.clear();
    i64 s = new_slot();
    slot(s)->type = T_INT;
    EXPECT_EQ(alloc_heap_block(slot(s), T_INT, 200), ARENA_FULL);
    EXPECT_EQ(alloc_stack_block(slot(t), T_INT, 200), ARENA_FULL);
    EXPECT_EQ(arena_output, "");
    EXPECT_EQ(slot(s)->capacity, 0);
    EXPECT_EQ(slot(t)->capacity, 0);
    EXPECT_EQ(error_number, 0);
    slot(t)->type = T_INT;
    ASSERT_EQ(alloc_slot_value(t, T_INT, 1, 200), 0);
    EXPECT_EQ(arena_output, "inctp,r = 200, vx=" + std::to_string(t) + "\n");
    EXPECT_FALSE(in_arena(slot(t)->data));
}

static int compactions_heard = 0;
static void hear_compaction() { compactions_heard++; }

TEST_F(ArenaTest, CompactionTellsEachListenerOnce) {
    ASSERT_TRUE(add_compaction_listener(hear_compaction));
    ASSERT_TRUE(add_compaction_listener(hear_compaction)) << "a second registration is the first";
    i64 g = new_slot();
    fill_ints(g, 10, 0);
    i64 k = new_slot();
    fill_ints(k, 10, 3);
    release_slot(g);
    compactions_heard = 0;
    compact_heap();
    EXPECT_EQ(compactions_heard, 1);
    EXPECT_TRUE(ints_intact(k, 10, 3));
}

TEST_F(ArenaTest, StackDataHasNoCountToWrite) {
    i64 a = FIRST_TEMP_SLOT, b = FIRST_TEMP_SLOT + 1;
    fill_ints(a, 4, 0);
    fill_ints(b, 8, 100);
    EXPECT_EQ(adjust_refcount(slot(a), 1), -1);
    EXPECT_EQ(adjust_refcount(slot(a), -1), -1);
    EXPECT_TRUE(ints_intact(b, 8, 100)) << "the block after a stack block is untouched";
}

TEST_F(ArenaTest, SharedChunkLivesUntilLastReference) {
    i64 a = new_slot(), b = new_slot();
    fill_ints(a, 10000, 3);
    *slot(b) = *slot(a);
    EXPECT_EQ(adjust_refcount(slot(b), 1), 2);
    release_slot(a);
    EXPECT_EQ(chunk_count(), 1);
    EXPECT_TRUE(ints_intact(b, 10000, 3));
    release_slot(b);
    EXPECT_EQ(chunk_count(), 0);
    ValueDescriptor zero;
    memset(&zero, 0, sizeof zero);
    EXPECT_EQ(memcmp(slot(b), &zero, sizeof zero), 0) << "release zeroes the descriptor";
}

TEST_F(ArenaTest, ReusedBlockGetsNulAndEmptyItems) {
    i64 s = new_slot();
    slot(s)->type = T_CHAR;
    ASSERT_EQ(alloc_slot_value(s, T_CHAR, 1, 10), 0);
    void *first = slot(s)->data;
    memcpy(first, "abcdefghij", 10);
    slot(s)->type = T_CHAR;
    ASSERT_EQ(alloc_slot_value(s, T_CHAR, 1, 5), 0);
    EXPECT_EQ(slot(s)->data, first);
    EXPECT_EQ(alloc_result, first);
    EXPECT_EQ(((char *)first)[5], 0);

    i64 l = new_slot();
    slot(l)->type = T_LIST;
    ASSERT_EQ(alloc_slot_value(l, T_LIST, 1, 3), 0);
    void *items = slot(l)->data;
    memset(items, 0x5a, 3 * sizeof(ValueDescriptor));
    slot(l)->type = T_LIST;
    ASSERT_EQ(alloc_slot_value(l, T_LIST, 1, 2), 0);
    EXPECT_EQ(slot(l)->data, items);
    const ValueDescriptor *item = (const ValueDescriptor *)items;
    EXPECT_EQ(item[0].type, 0);
    EXPECT_EQ(item[1].data, nullptr);

    // a freed block is never handed back to its slot
    adjust_refcount(slot(s), -1);
    slot(s)->type = T_CHAR;
    ASSERT_EQ(alloc_slot_value(s, T_CHAR, 1, 4), 0);
    EXPECT_NE(slot(s)->data, first);
    EXPECT_EQ(adjust_refcount(slot(s), 0), 1);
}

TEST_F(ArenaTest, ChunkListIsSortedAndSummed) {
    void *a = new_chunk(300000);
    void *b = new_chunk(100000);
    void *c = new_chunk(200000);
    void *d = new_chunk(100000);
    ChunkHeader *h = chunk_list_head->next;
    ASSERT_NE(h, nullptr);
    EXPECT_EQ((char *)h + sizeof(ChunkHeader), b);
    EXPECT_EQ((char *)h->next + sizeof(ChunkHeader), d) << "equal sizes keep their order";
    EXPECT_EQ((char *)h->next->next + sizeof(ChunkHeader), c);
    EXPECT_EQ((char *)h->next->next->next + sizeof(ChunkHeader), a);
    EXPECT_EQ(print_chunk_list(), 700000);
    EXPECT_EQ(arena_output, "100000 100000 200000 300000 4 chunks\n");
    free_chunks_keep_head();
    EXPECT_EQ(chunk_list_head->next, nullptr);
}

TEST_F(ArenaTest, ResettingTheStackFreesLargeTemporaries) {
    for (i64 t = FIRST_TEMP_SLOT; t < FIRST_TEMP_SLOT + 5; t++) fill_ints(t, 20000, t);
    fill_ints(5, 20000, 0);
    EXPECT_EQ(chunk_count(), 6);
    reset_stack();
    EXPECT_EQ(chunk_count(), 0);
    EXPECT_EQ(stacktop, 0);
    EXPECT_EQ(value_slot_table[FIRST_TEMP_SLOT].data, nullptr);
}

TEST_F(ArenaTest, ScratchBlocksAreFreedTogether) {
    EXPECT_EQ(scratch_alloc(T_INT, 0), nullptr);
    i64 *p = (i64 *)scratch_alloc(T_INT, 1000);
    char *q = (char *)scratch_alloc(T_CHAR, 10);
    ASSERT_NE(p, nullptr);
    ASSERT_NE(q, nullptr);
    p[999] = 1;
    q[10] = 0;
    free_scratch();
    EXPECT_NE(scratch_alloc(T_FLOAT, 3), nullptr);
    free_scratch();
}

// A big block freed by one statement is handed out again to the next, and
// comes back zeroed unless its taker said it writes every byte.
TEST_F(ArenaTest, FreedBigBlocksAreReusedZeroedUnlessFullyWritten) {
    const i64 n = 400000;   // 3.2 MB
    i64 s = new_slot();
    fill_ints(s, n, 7);
    void *first = slot(s)->data;
    release_slot(s);
    i64 t = new_slot();
    slot(t)->type = T_INT;
    ASSERT_EQ(alloc_slot_value(t, T_INT, 1, n), 0);
    EXPECT_EQ(slot(t)->data, first);
    const i64 *p = (const i64 *)slot(t)->data;
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[n - 1], 0);
    fill_ints(t, n, 9);
    release_slot(t);
    chunk_fully_written = true;
    slot(s)->type = T_INT;
    ASSERT_EQ(alloc_slot_value(s, T_INT, 1, n - 1000), 0);
    chunk_fully_written = false;
    EXPECT_EQ(slot(s)->data, first);
    EXPECT_EQ(((const i64 *)slot(s)->data)[5], 14);   // left as the last taker wrote it
    // A much smaller request does not take a big spare block.
    i64 u = new_slot();
    slot(u)->type = T_INT;
    ASSERT_EQ(alloc_slot_value(u, T_INT, 1, n / 4), 0);
    EXPECT_NE(slot(u)->data, first);
}
