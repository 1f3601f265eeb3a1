// )SAVE and )LOAD of a workspace holding one 300 MB integer vector, each in
// a fresh console process: wall time and peak resident size against the
// data's size, beside CPython pickling and unpickling the same integers
// (an array of 64-bit items).
//   workspace_bench [items]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include "harness.h"

static std::string dir;

static void remove_files()
{
    for (const char *name : {"/big.vek", "/big.pkl"}) unlink((dir + name).c_str());
    rmdir(dir.c_str());
}

static void report(const char *what, const Run &r, double data_mb)
{
    printf("  %-22s %8.0f ms   peak %7.1f MB = %.2f x data\n", what, r.ms, r.peak_kb / 1024.0,
           r.peak_kb / 1024.0 / data_mb);
}

int main(int argc, char **argv)
{
    long long items = argument(argc, argv, 1, 37500000);
    char templ[] = "/tmp/vek-ws-XXXXXX";
    if (!mkdtemp(templ)) return 1;
    dir = templ;
    atexit(remove_files);
    double data_mb = items * 8.0 / 1048576.0;
    std::string console = console_program();
    char *vek[] = {console.data(), nullptr};
    std::string make = "v<-!" + std::to_string(items) + "\n)OFF\n";
    std::string save = "v<-!" + std::to_string(items) + "\n)SAVE '" + dir + "/big.vek'\n)OFF\n";
    std::string load = ")LOAD '" + dir + "/big.vek'\n)OFF\n";
    Run made = run_child(vek, make.c_str());
    Run saved = run_child(vek, save.c_str());
    Run loaded = run_child(vek, load.c_str());
    printf("workspace of one %lld-item integer vector (%.0f MB)\n", items, data_mb);
    report("vek: make the vector", made, data_mb);
    report("vek: make it and )SAVE", saved, data_mb);
    report("vek: )LOAD", loaded, data_mb);
    char python[] = "/usr/bin/python3", command[] = "-c";
    if (access(python, X_OK) != 0) return 0;
    std::string pickle_path = dir + "/big.pkl";
    std::string dump = "import array, pickle\na = array.array('q', range(" + std::to_string(items) +
                       "))\nwith open('" + pickle_path + "', 'wb') as f: pickle.dump(a, f, 4)\n";
    std::string read = "import pickle\nwith open('" + pickle_path + "', 'rb') as f: a = pickle.load(f)\n";
    char *py_dump[] = {python, command, dump.data(), nullptr};
    char *py_read[] = {python, command, read.data(), nullptr};
    Run dumped = run_child(py_dump, "");
    Run unpickled = run_child(py_read, "");
    report("python: make and dump", dumped, data_mb);
    report("python: load", unpickled, data_mb);
    printf("  ratio of the loads: %.2f time, %.2f peak\n", loaded.ms / unpickled.ms,
           (double)loaded.peak_kb / (double)unpickled.peak_kb);
    return 0;
}
