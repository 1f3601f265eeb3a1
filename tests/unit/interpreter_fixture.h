// Shared by the unit tests: one interpreter started once per test program,
// a cleared workspace and empty captured output for every test, and
// builders of plain values made straight from descriptors.
#pragma once
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include <cstdlib>
#include <unistd.h>
#include "system/startup.h"
#include "core/session.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/valueops.h"
#include "core/output.h"
#include "core/errors.h"
#include "core/workspace.h"
#include "core/storage.h"

inline std::string &captured_output() {
    static std::string text;
    return text;
}

inline void capture_output(const char *text) { captured_output() += text; }

class InterpreterFixture : public ::testing::Test {
protected:
    void SetUp() override {
        static bool started = false;
        session_print = capture_output;
        if (!started) { start_interpreter(); started = true; }
        clear_workspace(0);
        reset_stack();
        captured_output().clear();
    }
    // Runs a session line and returns what it printed, prompt removed.
    static std::string run(const char *line) {
        captured_output().clear();
        std::string text = line;
        execute_input_line(text.data());
        std::string out = captured_output();
        if (out.size() >= 6 && out.compare(out.size() - 6, 6, "      ") == 0) out.resize(out.size() - 6);
        return out;
    }
    static ValueDescriptor vec(i64 type, i64 n) {
        ValueDescriptor d;
        memset(&d, 0, sizeof d);
        d.type = type;
        d.rank = 1;
        d.count = d.dim0 = n;
        EXPECT_EQ(alloc_descriptor_data(&d, 0), 0);
        return d;
    }
    static ValueDescriptor ints(std::vector<i64> xs) {
        ValueDescriptor d = vec(T_INT, (i64)xs.size());
        for (size_t i = 0; i < xs.size(); i++) ((i64 *)value_data(&d))[i] = xs[i];
        return d;
    }
    static ValueDescriptor floats(std::vector<double> xs) {
        ValueDescriptor d = vec(T_FLOAT, (i64)xs.size());
        for (size_t i = 0; i < xs.size(); i++) ((double *)value_data(&d))[i] = xs[i];
        return d;
    }
    static ValueDescriptor chars(const char *s) {
        ValueDescriptor d = vec(T_CHAR, (i64)strlen(s));
        if (d.count) memcpy(value_data(&d), s, strlen(s));
        return d;
    }
    static ValueDescriptor list(std::vector<ValueDescriptor> items) {
        ValueDescriptor d = vec(T_LIST, (i64)items.size());
        for (size_t i = 0; i < items.size(); i++) {
            ((ValueDescriptor *)d.data)[i] = items[i];
            fix_inline_pointer(&((ValueDescriptor *)d.data)[i]);
        }
        return d;
    }
};

// An interpreter fixture with a fresh directory of its own for the files a
// test writes, removed with everything in it afterwards.
class ScratchDirFixture : public InterpreterFixture {
protected:
    std::string dir;
    void SetUp() override {
        InterpreterFixture::SetUp();
        char tmpl[] = "/tmp/vek-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;
    }
};
