// Opening files to read and write without waiting, and replacing files whole.
#include "system/file_replace.h"
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

const char REPLACEMENT_MARK[] = ".vek-save-";

// Opened without blocking, as a pipe would make the open wait for its
// other end; blocking again once the file is known to be one we take.
static bool make_blocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

int open_regular_file(const char *path, int64_t *size, bool *not_regular) {
    *not_regular = false;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *not_regular = true;
        close(fd);
        return -1;
    }
    make_blocking(fd);
    *size = (int64_t)st.st_size;
    return fd;
}

int open_file_to_write(const char *path, bool empty) {
    // A pipe without a reader fails here at once (ENXIO) instead of waiting.
    int fd = open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    struct stat st;
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    // Emptied only once it is known to be a regular file.
    if ((!regular && !isatty(fd)) || (regular && empty && ftruncate(fd, 0) != 0) || !make_blocking(fd)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

// The path a write lands on: symbolic links are followed to their target,
// which need not exist yet. False for links that go round in a loop (or
// further than the system follows), which must not be replaced by a file.
static bool link_target(const std::string &path, std::string *out) {
    std::string p = path;
    for (int hops = 0; hops <= 40; hops++) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *out = p;
            return true;
        }
        std::vector<char> buf(4096);
        ssize_t n = readlink(p.c_str(), buf.data(), buf.size());
        if (n <= 0 || (size_t)n >= buf.size()) return false;
        std::string target(buf.data(), (size_t)n);
        if (target[0] != '/') {
            size_t slash = p.rfind('/');
            if (slash != std::string::npos) target = p.substr(0, slash + 1) + target;
        }
        p = target;
    }
    return false;
}

// Removes the temporaries of earlier writes of `path` whose writer has gone
// (a save killed midway): a writer holds a lock on its temporary until it
// is renamed, so a file that can be locked has no writer.
static void remove_stale_temporaries(const std::string &path) {
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string prefix = path.substr(slash == std::string::npos ? 0 : slash + 1) + REPLACEMENT_MARK;
    DIR *d = opendir(dir.c_str());
    if (!d) return;
    while (struct dirent *e = readdir(d)) {
        if (strlen(e->d_name) != prefix.size() + 6 || strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0)
            continue;
        std::string name = dir + "/" + e->d_name;
        int fd = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st, now;
        // Still the file that was locked, not one made since under its name.
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            lstat(name.c_str(), &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev)
            unlink(name.c_str());
        close(fd);
    }
    closedir(d);
}

bool open_replacement(FileReplacement *r, const char *path) {
    r->temporary.clear();
    if (!link_target(path, &r->path)) return false;
    struct stat st;
    bool exists = stat(r->path.c_str(), &st) == 0;
    // Only a target that is not there yet is made: one that cannot be looked
    // at is refused rather than replaced.
    if (!exists && errno != ENOENT) return false;
    if (exists && !S_ISREG(st.st_mode)) {
        int fd = open_file_to_write(r->path.c_str(), false);
        r->file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
        if (!r->file && fd >= 0) close(fd);
        return r->file != nullptr;
    }
    // The rename needs only the directory: a file the user may not write
    // is refused here, as writing it in place would be.
    if (exists && faccessat(AT_FDCWD, r->path.c_str(), W_OK, AT_EACCESS) != 0) return false;
    remove_stale_temporaries(r->path);
    std::string tmp = r->path + REPLACEMENT_MARK + "XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) return false;
    // Held until the file is renamed or removed; a write killed midway
    // leaves the lock behind with its process, so the next write knows the
    // temporary is stale.
    flock(fd, LOCK_EX | LOCK_NB);
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
    if (r->temporary.empty()) {
        ok = fclose(r->file) == 0 && ok;
        r->file = nullptr;
        return ok;
    }
    // Renamed while the lock is held, so no other write takes it for stale.
    ok = fsync(fileno(r->file)) == 0 && ok;
    if (ok) ok = rename(r->temporary.c_str(), r->path.c_str()) == 0;
    if (!ok) unlink(r->temporary.c_str());
    fclose(r->file);
    r->file = nullptr;
    return ok;
}

void abandon_replacement(FileReplacement *r) {
    if (!r->temporary.empty()) unlink(r->temporary.c_str());
    if (r->file) fclose(r->file);
    r->file = nullptr;
}
