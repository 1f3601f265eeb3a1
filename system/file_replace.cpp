// Opening files to read, and replacing files whole.
#include "system/file_replace.h"
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

int open_regular_file(const char *path, int64_t *size, bool *not_regular) {
    *not_regular = false;
    // Not blocking: opening a pipe with no writer would wait for ever.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *not_regular = true;
        close(fd);
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    *size = (int64_t)st.st_size;
    return fd;
}

// The path a write lands on: symbolic links are followed to their target,
// which need not exist yet. A loop of links is left to fail at the open.
static std::string link_target(const std::string &path) {
    std::string p = path;
    for (int hops = 0; hops < 40; hops++) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::vector<char> buf(4096);
        ssize_t n = readlink(p.c_str(), buf.data(), buf.size());
        if (n <= 0 || (size_t)n >= buf.size()) return p;
        std::string target(buf.data(), (size_t)n);
        if (target[0] != '/') {
            size_t slash = p.rfind('/');
            if (slash != std::string::npos) target = p.substr(0, slash + 1) + target;
        }
        p = target;
    }
    return p;
}

bool open_replacement(FileReplacement *r, const char *path) {
    r->path = link_target(path);
    r->temporary.clear();
    struct stat st;
    bool exists = stat(r->path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        r->file = fopen(r->path.c_str(), "wb");
        return r->file != nullptr;
    }
    // The rename needs only the directory: a file the user may not write
    // is refused here, as writing it in place would be.
    if (exists && faccessat(AT_FDCWD, r->path.c_str(), W_OK, AT_EACCESS) != 0) return false;
    std::string tmp = r->path + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) return false;
    // mkstemp makes the file private; give it the mode a plain create
    // would, or the mode and owner of the file it replaces (the owner only
    // where the user may hand a file over, as root may).
    mode_t mask = umask(0);
    umask(mask);
    if (exists) (void)!fchown(fd, st.st_uid, st.st_gid);
    fchmod(fd, exists ? (st.st_mode & 07777) : (0666 & ~mask));
    r->file = fdopen(fd, "wb");
    if (!r->file) { close(fd); unlink(tmp.c_str()); return false; }
    r->temporary = tmp;
    return true;
}

bool commit_replacement(FileReplacement *r) {
    bool ok = ferror(r->file) == 0;
    ok = fflush(r->file) == 0 && ok;
    if (!r->temporary.empty()) ok = fsync(fileno(r->file)) == 0 && ok;
    ok = fclose(r->file) == 0 && ok;
    r->file = nullptr;
    if (r->temporary.empty()) return ok;
    if (ok) ok = rename(r->temporary.c_str(), r->path.c_str()) == 0;
    if (!ok) unlink(r->temporary.c_str());
    return ok;
}

void abandon_replacement(FileReplacement *r) {
    if (r->file) fclose(r->file);
    r->file = nullptr;
    if (!r->temporary.empty()) unlink(r->temporary.c_str());
}
