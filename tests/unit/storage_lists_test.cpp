// Value storage under the evaluator's habits: list items that point into a
// stack end already given back, and descriptors moved out of their slot.
#include "interpreter_fixture.h"
#include "core/names.h"
#include "core/valueops.h"

class StorageListsTest : public InterpreterFixture {
protected:
    static ValueDescriptor *slot(i64 s) { return &value_slot_table[s]; }
    static void fill_ints(i64 s, i64 n, i64 base) {
        slot(s)->type = T_INT;
        ASSERT_EQ(alloc_slot_value(s, T_INT, 1, n), 0);
        set_slot_shape(s, 1, n, n, 0);
        for (i64 i = 0; i < n; i++) ((i64 *)slot(s)->data)[i] = base + i;
    }
    static bool ints_intact(const ValueDescriptor *d, i64 n, i64 base) {
        for (i64 i = 0; i < n; i++)
            if (((const i64 *)d->data)[i] != base + i) return false;
        return true;
    }
};

// A big list made by one line of a function body holds small items on the
// stack end. The line ends, stacktop drops, and later lines fill the heap end
// over that stack space. Giving up the list when its temporary is taken again
// must not count down "trailers" that are really a variable's data.
TEST_F(StorageListsTest, FreeingAListNeverWritesThroughStaleStackItems) {
    reset_stack();
    ValueDescriptor item = ints({1, 2});
    ASSERT_TRUE(in_arena(item.data));
    ValueDescriptor list = vec(T_LIST, 1100);
    ASSERT_FALSE(in_arena(list.data)) << "a list this long lives in a large block";
    ((ValueDescriptor *)list.data)[0] = item;
    *slot(FIRST_TEMP_SLOT) = list;
    stacktop = 0;

    i64 last = -1;
    while (r15 - (i64)sizeof(HeapBlockTrailer) > 0) {
        i64 room = (r15 - (i64)sizeof(HeapBlockTrailer)) / 8;
        last = alloc_table_entry('V', -1);
        ASSERT_GE(last, 0);
        slot(last)->type = T_INT;
        ASSERT_EQ(alloc_slot_value(last, T_INT, 1, room < 8192 ? room : 8192), 0);
        memset(slot(last)->data, 0xff, (size_t)slot(last)->capacity);
    }
    ASSERT_TRUE(in_heap_end(item.data)) << "the heap end now covers the old stack items";

    free_value(slot(FIRST_TEMP_SLOT));
    const unsigned char *p = (const unsigned char *)slot(last)->data;
    i64 damaged = 0;
    for (i64 i = 0; i < slot(last)->capacity; i++) damaged += p[i] != 0xff;
    EXPECT_EQ(damaged, 0);
    EXPECT_EQ(adjust_refcount(slot(last), 0), 1);
}

// A descriptor taken out of its slot into a list item keeps its block: the
// block follows compaction, and giving up the list gives up the block.
TEST_F(StorageListsTest, TakenDescriptorFollowsItsBlock) {
    i64 a = alloc_table_entry('V', -1), b = alloc_table_entry('V', -1);
    fill_ints(a, 10, 100);
    fill_ints(b, 20, 500);
    ValueDescriptor list = vec(T_LIST, 2000);
    ValueDescriptor *items = (ValueDescriptor *)list.data;
    take_slot_descriptor(&items[0], b);
    release_slot(a);
    compact_heap();
    ASSERT_TRUE(in_heap_end(items[0].data));
    EXPECT_TRUE(ints_intact(&items[0], 20, 500));
    i64 c = alloc_table_entry('V', -1);
    fill_ints(c, 30, 900);   // reuses the space the block moved away from
    EXPECT_TRUE(ints_intact(&items[0], 20, 500));

    i64 before = r15;
    free_value(&list);
    compact_heap();
    EXPECT_GT(r15, before) << "the item's block went with its list";
    EXPECT_TRUE(ints_intact(slot(c), 30, 900));
}

// An item's block above its list's block: the list moves after the item was
// placed, and a second compaction must still find the item.
TEST_F(StorageListsTest, ItemBlockAboveItsListSurvivesTwoCompactions) {
    i64 a = alloc_table_entry('V', -1), i = alloc_table_entry('V', -1);
    i64 g = alloc_table_entry('V', -1), l = alloc_table_entry('V', -1);
    fill_ints(a, 10, 0);
    fill_ints(i, 20, 500);
    fill_ints(g, 6, 0);
    slot(l)->type = T_LIST;
    ASSERT_EQ(alloc_slot_value(l, T_LIST, 1, 2), 0);
    set_slot_shape(l, 1, 2, 2, 0);
    take_slot_descriptor(&((ValueDescriptor *)slot(l)->data)[0], i);
    release_slot(g);
    compact_heap();   // the list moves, the item's block does not
    release_slot(a);
    compact_heap();   // now the item's block moves
    const ValueDescriptor *item = &((ValueDescriptor *)slot(l)->data)[0];
    ASSERT_TRUE(in_heap_end(item->data));
    EXPECT_TRUE(ints_intact(item, 20, 500));
}

// A function line that builds a list of big items (a strand, a selection,
// a reverse, an enclose) holds the list on the stack end and the items in
// large blocks. Each line gives them back when
// it ends, so a loop over such lines keeps the memory it started with.
TEST_F(StorageListsTest, FunctionLinesGiveBackTheItemsOfTheirLists) {
    auto chunks = [] {
        i64 n = 0, bytes = 0;
        for (ChunkHeader *c = chunk_list_head->next; c; c = c->next) n++, bytes += c->size;
        return std::make_pair(n, bytes);
    };
    run("{grow: i<-0; while (i<x) { v<-(!20000;!20000); w<-(<.v)[1]; u<-^.<.$v; i<-i+1 }; i}");
    run("grow 2");
    auto before = chunks();
    EXPECT_EQ(run("grow 300"), "300\n");
    auto after = chunks();
    EXPECT_LE(after.first, before.first + 2);
    EXPECT_LE(after.second, before.second + 2 * 160000);
}

// The large blocks of a list's items are shared by reference count with
// the values they were copied from (a strand, an enclose, a catenation, a
// copy of the list): a write into any holder copies its block first.
TEST_F(StorageListsTest, ListItemsShareLargeBlocksAndWritesCopyFirst) {
    auto var = [](const char *name) {
        i64 g = lookup_name(name, 'G');
        return g < 0 ? nullptr : &value_slot_table[global_name_table[g].index];
    };
    auto chunks = [] {
        i64 n = 0;
        for (ChunkHeader *c = chunk_list_head->next; c; c = c->next) n++;
        return n;
    };
    i64 before = chunks();
    run("a<-!100000");
    run("l<-(a;a*2)");
    run("e<-<.a");
    run("c<-(<.'x'),l");
    run("m<-l");
    const void *block = var("a")->data;
    EXPECT_EQ(((ValueDescriptor *)var("l")->data)[0].data, block);
    EXPECT_EQ(((ValueDescriptor *)var("e")->data)[0].data, block);
    EXPECT_EQ(((ValueDescriptor *)var("c")->data)[1].data, block);
    EXPECT_EQ(((ValueDescriptor *)var("m")->data)[0].data, block);
    run("a[1 2]<-7");
    run("x<-^.l");
    run("x[3]<-8");
    run("m[1]<-<.0");
    EXPECT_EQ(run("a[1 2 3]"), "7 7 3\n");
    EXPECT_EQ(run("x[1 2 3]"), "1 2 8\n");
    EXPECT_EQ(run("(^.l)[1 2 3]"), "1 2 3\n");
    EXPECT_EQ(run("(^.e)[1 2 3]"), "1 2 3\n");
    EXPECT_EQ(run("(c[2])[1 2 3]"), "1 2 3\n");   // c's items are 'x', a and a*2
    EXPECT_EQ(run("^m[1]"), "1\n");
    run("a<-l<-e<-c<-m<-x<-0");
    EXPECT_EQ(chunks(), before);   // every shared block given back
}
