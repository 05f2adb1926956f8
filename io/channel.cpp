// The channel reads forward through its buffer with pread, so a record
// costs no system call of its own and skipped data is never read; it
// writes through the same buffer in large blocks.
#include "channel.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>


namespace {

// Reads exactly count bytes at offset; 0 on success, 1 on a short read or error.
int read_fully(int fd, void *destination, int64_t count, int64_t offset)
{
    auto *out = static_cast<unsigned char *>(destination);
    while (count > 0) {
        ssize_t got = pread(fd, out, static_cast<size_t>(count), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return 1;
        out += got;
        count -= got;
        offset += got;
    }
    return 0;
}

// Writes all count bytes; 0 on success, else errno.
int write_fully(int fd, const void *source, int64_t count)
{
    auto *in = static_cast<const unsigned char *>(source);
    while (count > 0) {
        ssize_t put = write(fd, in, static_cast<size_t>(count));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return put < 0 ? errno : ENOSPC;
        in += put;
        count -= put;
    }
    return 0;
}

// Makes the buffer hold the file from the position on, count bytes or to
// the end of the file; returns the bytes it holds from the position.
int64_t buffer_from_position(MatrixChannel *ch, int64_t count)
{
    int64_t wanted = ch->size - ch->position < count ? ch->size - ch->position : count;
    int64_t offset = ch->position - ch->buffer_start;
    if (offset >= 0 && offset <= ch->buffer_length && ch->buffer_length - offset >= wanted)
        return ch->buffer_length - offset;
    int64_t length = ch->size - ch->position;
    if (length > IO_BUFFER_BYTES)
        length = IO_BUFFER_BYTES;
    if (read_fully(ch->fd, ch->buffer, length, ch->position) != 0) {
        ch->buffer_length = 0;
        return -1;
    }
    ch->buffer_start = ch->position;
    ch->buffer_length = length;
    return length;
}

// Opens a regular file read-only; -1 on failure. Directories, pipes and
// devices could fail or block on read.
int open_regular(const char *path, struct stat *status)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    if (fstat(fd, status) != 0 || !S_ISREG(status->st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

// Everything but the word buffer, which keeps earlier words.
void reset(MatrixChannel *ch)
{
    ch->fd = -1;
    ch->is_open = ch->writing = ch->stuck = ch->big_endian = ch->text = 0;
    ch->size = ch->position = ch->buffer_start = ch->buffer_length = 0;
    ch->device = ch->inode = 0;
    ch->appended_from = -1;
    ch->in_place = 0;
    ch->write_error = 0;
    ch->record_start = 0;
    ch->text_state = TextState{TEXT_T2, 0, T1_FIELD, 1, 1, 0, 0, 0};
    ch->path[0] = ch->temporary[0] = ch->problem[0] = '\0';
}

// Writeback is started every so many bytes, so that the sync at commit
// has little left to wait for.
constexpr int64_t WRITEBACK_BYTES = int64_t(1) << 23;

int flush(MatrixChannel *ch)
{
    if (ch->buffer_length == 0)
        return 0;
    int error = write_fully(ch->fd, ch->buffer, ch->buffer_length);
    ch->buffer_length = 0;
    if (error != 0) {
        ch->write_error = error;
        ch->stuck = 1;
        return 1;
    }
#if defined(__linux__)
    if (ch->position / WRITEBACK_BYTES != (ch->position - IO_BUFFER_BYTES) / WRITEBACK_BYTES)
        (void)sync_file_range(ch->fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    return 0;
}

} // namespace

int channel_take(MatrixChannel *ch, void *destination, int64_t count)
{
    auto *out = static_cast<unsigned char *>(destination);
    while (count > 0) {
        int64_t offset = ch->position - ch->buffer_start;
        if (offset >= 0 && offset < ch->buffer_length) {
            int64_t chunk = ch->buffer_length - offset;
            if (chunk > count)
                chunk = count;
            memcpy(out, ch->buffer + offset, static_cast<size_t>(chunk));
            out += chunk;
            count -= chunk;
            ch->position += chunk;
        } else if (count >= IO_BUFFER_BYTES) {
            // Large runs go straight to their destination.
            if (read_fully(ch->fd, out, count, ch->position) != 0)
                return 1;
            ch->position += count;
            count = 0;
        } else {
            int64_t length = ch->size - ch->position;
            if (length > IO_BUFFER_BYTES)
                length = IO_BUFFER_BYTES;
            if (length < count || read_fully(ch->fd, ch->buffer, length, ch->position) != 0) {
                ch->buffer_length = 0;
                return 1;
            }
            ch->buffer_start = ch->position;
            ch->buffer_length = length;
        }
    }
    return 0;
}

int channel_peek(MatrixChannel *ch, void *destination, int64_t count, int64_t offset)
{
    return read_fully(ch->fd, destination, count, offset);
}

void channel_mark_stuck(MatrixChannel *ch) { ch->stuck = 1; }

int channel_read_line(MatrixChannel *ch, const char **line, int64_t *length, int64_t max_length)
{
    if (!ch->is_open || ch->stuck || ch->position >= ch->size)
        return LINE_END_OF_FILE;
    int64_t held = buffer_from_position(ch, max_length + 2);
    if (held < 0)
        return LINE_END_OF_FILE;
    const char *start = reinterpret_cast<const char *>(ch->buffer + (ch->position - ch->buffer_start));
    int64_t looked = held < max_length + 2 ? held : max_length + 2;
    const char *newline = static_cast<const char *>(memchr(start, '\n', static_cast<size_t>(looked)));
    int64_t taken = newline != nullptr ? newline - start : looked;
    if (newline == nullptr && !(held == looked && ch->position + held == ch->size && held <= max_length)) {
        // Too long: passed over up to its end.
        while (ch->position < ch->size) {
            held = buffer_from_position(ch, IO_BUFFER_BYTES);
            if (held <= 0)
                break;
            start = reinterpret_cast<const char *>(ch->buffer + (ch->position - ch->buffer_start));
            newline = static_cast<const char *>(memchr(start, '\n', static_cast<size_t>(held)));
            ch->position += newline != nullptr ? newline - start + 1 : held;
            if (newline != nullptr)
                break;
        }
        return LINE_TOO_LONG;
    }
    ch->position += newline != nullptr ? taken + 1 : taken;
    if (taken > 0 && start[taken - 1] == '\r')
        --taken;
    *line = start;
    *length = taken;
    return LINE_DONE;
}

int64_t channel_line_number(MatrixChannel *ch, int64_t position)
{
    int64_t lines = 1;
    for (int64_t offset = 0; offset < position && offset < ch->size;) {
        unsigned char chunk[4096];
        int64_t count = position - offset < 4096 ? position - offset : 4096;
        if (read_fully(ch->fd, chunk, count, offset) != 0)
            break;
        for (int64_t i = 0; i < count; ++i)
            lines += chunk[i] == '\n';
        offset += count;
    }
    return lines;
}

int open_channel(MatrixChannel *ch, const char *path)
{
    close_channel(ch);
    struct stat status;
    size_t length = strlen(path);
    if (length >= static_cast<size_t>(CHANNEL_PATH_LENGTH))
        return 1;
    int fd = open_regular(path, &status);
    if (fd < 0)
        return 1;
    ch->fd = fd;
    ch->is_open = 1;
    ch->size = static_cast<int64_t>(status.st_size);
    ch->device = static_cast<uint64_t>(status.st_dev);
    ch->inode = static_cast<uint64_t>(status.st_ino);
    memcpy(ch->path, path, length + 1);
    return 0;
}

void close_channel(MatrixChannel *ch)
{
    if (ch->is_open && ch->writing)
        abort_channel(ch);
    if (ch->is_open)
        close(ch->fd);
    reset(ch);
}

int channel_is_open(const MatrixChannel *ch) { return ch->is_open; }

void suspend_channel(MatrixChannel *ch)
{
    if (ch->writing)
        return; // a file being written stays open until commit or abort
    if (ch->is_open)
        close(ch->fd);
    ch->fd = -1;
    ch->is_open = 0;
}

int resume_channel(MatrixChannel *ch)
{
    struct stat status;
    int fd = open_regular(ch->path, &status);
    if (fd >= 0 && static_cast<uint64_t>(status.st_dev) == ch->device &&
        static_cast<uint64_t>(status.st_ino) == ch->inode && static_cast<int64_t>(status.st_size) == ch->size) {
        ch->fd = fd;
        ch->is_open = 1;
        return 0;
    }
    if (fd >= 0)
        close(fd);
    close_channel(ch);
    return 1;
}

const char *channel_format_name(const MatrixChannel *ch) { return ch->text ? "text" : "binary"; }

const char *channel_byte_order_name(const MatrixChannel *ch)
{
    return ch->text ? "none" : ch->big_endian ? "big" : "little";
}

int64_t channel_position(const MatrixChannel *ch) { return ch->position; }

void channel_return_to(MatrixChannel *ch, int64_t position)
{
    if (position >= 0 && position <= ch->size)
        ch->position = position;
}

int64_t channel_remaining(const MatrixChannel *ch) { return ch->is_open ? ch->size - ch->position : 0; }

// --- Writing ---------------------------------------------------------------

namespace {

constexpr int MAX_LINKS = 40; // as the kernel's own limit on links in a path

// The file a path finally names: links followed to their target, also
// when that does not exist yet (a dangling link names the file to make).
// What exists and is no regular file (a pipe, a device, the kernel's own
// links to them) is named by the path itself.
int final_target(const char *path, char target[CHANNEL_PATH_LENGTH])
{
    snprintf(target, CHANNEL_PATH_LENGTH, "%s", path);
    struct stat status;
    if (stat(path, &status) == 0) {
        char resolved[PATH_MAX];
        if (S_ISREG(status.st_mode) && realpath(path, resolved) != nullptr) {
            if (strlen(resolved) + 32 >= static_cast<size_t>(CHANNEL_PATH_LENGTH))
                return ENAMETOOLONG;
            snprintf(target, CHANNEL_PATH_LENGTH, "%s", resolved);
        }
        return 0;
    }
    if (errno != ENOENT)
        return errno;
    for (int hops = 0; hops < MAX_LINKS; ++hops) {
        if (lstat(target, &status) != 0 || !S_ISLNK(status.st_mode))
            return 0;
        char link[CHANNEL_PATH_LENGTH];
        ssize_t length = readlink(target, link, sizeof link - 1);
        if (length < 0 || length >= static_cast<ssize_t>(sizeof link) - 1)
            return ENAMETOOLONG;
        link[length] = '\0';
        if (link[0] == '/') {
            memcpy(target, link, static_cast<size_t>(length) + 1);
            continue;
        }
        // A relative link is relative to the folder holding it.
        char *slash = strrchr(target, '/');
        size_t folder = slash != nullptr ? static_cast<size_t>(slash - target) + 1 : 0;
        if (folder + static_cast<size_t>(length) + 32 >= CHANNEL_PATH_LENGTH)
            return ENAMETOOLONG;
        memcpy(target + folder, link, static_cast<size_t>(length) + 1);
    }
    return ELOOP;
}

// The folder of path ("." when it has none) and the name in it.
void split_path(const char *path, char folder[CHANNEL_PATH_LENGTH], const char **name)
{
    const char *slash = strrchr(path, '/');
    if (slash == nullptr) {
        snprintf(folder, CHANNEL_PATH_LENGTH, ".");
        *name = path;
        return;
    }
    size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
    memcpy(folder, path, length);
    folder[length] = '\0';
    *name = slash + 1;
}

// Digits only, at least one; their value in *value.
int digits_value(const char *text, size_t length, long *value)
{
    if (length == 0 || length > 9)
        return 0;
    *value = 0;
    for (size_t k = 0; k < length; ++k) {
        if (text[k] < '0' || text[k] > '9')
            return 0;
        *value = *value * 10 + (text[k] - '0');
    }
    return 1;
}

// Temporary files NAME.<pid>.<n>.tmp that a killed writer left beside
// the target: removed when their process no longer runs.
void remove_leftovers(const char *target)
{
    char folder[CHANNEL_PATH_LENGTH];
    const char *name;
    split_path(target, folder, &name);
    size_t name_length = strlen(name);
    DIR *dir = opendir(folder);
    if (dir == nullptr)
        return;
    while (const struct dirent *entry = readdir(dir)) {
        const char *e = entry->d_name;
        size_t length = strlen(e);
        if (length < name_length + 8 || strncmp(e, name, name_length) != 0 || e[name_length] != '.' ||
            strcmp(e + length - 4, ".tmp") != 0)
            continue;
        const char *pid_text = e + name_length + 1, *dot = strchr(pid_text, '.');
        long pid = 0, attempt = 0;
        if (dot == nullptr || !digits_value(pid_text, static_cast<size_t>(dot - pid_text), &pid) ||
            !digits_value(dot + 1, static_cast<size_t>(e + length - 4 - dot - 1), &attempt))
            continue;
        if (pid == static_cast<long>(getpid()) || pid <= 0 || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        char leftover[CHANNEL_PATH_LENGTH];
        if (snprintf(leftover, sizeof leftover, "%s/%s", folder, e) < static_cast<int>(sizeof leftover))
            unlink(leftover);
    }
    closedir(dir);
}

// Appending: the file opened for reading and writing (its format is read
// before anything is written) and locked for the whole run, so that two
// appends at once both land.
int open_for_append(MatrixChannel *ch, const struct stat *status)
{
    int fd = open(ch->path, O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat now;
    if (flock(fd, LOCK_EX) != 0 || fstat(fd, &now) != 0 || now.st_dev != status->st_dev || now.st_ino != status->st_ino ||
        lseek(fd, 0, SEEK_END) < 0) {
        int error = errno != 0 ? errno : EIO;
        close(fd);
        errno = error;
        return -1;
    }
    ch->appended_from = static_cast<int64_t>(now.st_size);
    ch->size = ch->appended_from;
    return fd;
}

// A new file under a name of its own beside the target, created
// exclusively (never a link, never a file that exists); a file it
// replaces gives it its mode, and its group where the user may.
int open_temporary(MatrixChannel *ch, const struct stat *replaced)
{
    remove_leftovers(ch->path);
    int fd = -1;
    errno = EEXIST;
    for (unsigned attempt = 0; fd < 0 && errno == EEXIST && attempt < 100; ++attempt) {
        if (snprintf(ch->temporary, sizeof ch->temporary, "%s.%ld.%u.tmp", ch->path, static_cast<long>(getpid()),
                     attempt) >= static_cast<int>(sizeof ch->temporary)) {
            errno = ENAMETOOLONG;
            break;
        }
        fd = open(ch->temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    }
    if (fd >= 0 && replaced != nullptr) {
        (void)!fchown(fd, static_cast<uid_t>(-1), replaced->st_gid);
        (void)!fchmod(fd, replaced->st_mode & 07777);
    }
    return fd;
}

} // namespace

namespace {

// The descriptor a path names directly (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N), or -1: such a file is written through the
// descriptor the process holds, at its own offset (an append redirection
// stays one).
int named_descriptor(const char *path)
{
    if (strcmp(path, "/dev/stdout") == 0)
        return STDOUT_FILENO;
    if (strcmp(path, "/dev/stderr") == 0)
        return STDERR_FILENO;
    const char *prefixes[] = {"/dev/fd/", "/proc/self/fd/"};
    for (const char *prefix : prefixes) {
        size_t n = strlen(prefix);
        long value = 0;
        if (strncmp(path, prefix, n) == 0 && digits_value(path + n, strlen(path + n), &value))
            return static_cast<int>(value);
    }
    return -1;
}

} // namespace

int open_channel_for_writing(MatrixChannel *ch, const char *path, int append)
{
    int descriptor = named_descriptor(path);
    if (descriptor >= 0 && fcntl(descriptor, F_GETFD) >= 0)
        return open_channel_on_descriptor(ch, descriptor);
    close_channel(ch);
    size_t length = strlen(path);
    // Room for the temporary name's ".<pid>.<n>.tmp".
    if (length + 32 >= static_cast<size_t>(CHANNEL_PATH_LENGTH) || length == 0) {
        ch->write_error = ENAMETOOLONG;
        return 1;
    }
    int error = final_target(path, ch->path);
    struct stat status;
    int exists = error == 0 && stat(ch->path, &status) == 0;
    if (error == 0 && !exists && errno != ENOENT)
        error = errno;
    int fd = -1;
    if (error != 0) {
        errno = error;
    } else if (exists && S_ISDIR(status.st_mode)) {
        errno = EISDIR;
    } else if (exists && !S_ISREG(status.st_mode)) {
        // Pipes, devices and sockets are written in place, in order.
        fd = open(ch->path, O_WRONLY | O_CLOEXEC | O_NOCTTY);
        ch->in_place = 1;
    } else if (exists && append) {
        fd = open_for_append(ch, &status);
    } else if (exists) {
        // A file its user may not write is not replaced.
        int probe = open(ch->path, O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (probe >= 0) {
            close(probe);
            fd = open_temporary(ch, &status);
        }
    } else {
        fd = open_temporary(ch, nullptr);
    }
    if (fd < 0) {
        ch->write_error = errno;
        ch->temporary[0] = '\0';
        ch->appended_from = -1;
        ch->in_place = 0;
        return 1;
    }
    ch->fd = fd;
    ch->is_open = 1;
    ch->writing = 1;
    ch->position = ch->appended_from >= 0 ? ch->appended_from : 0;
    return 0;
}

int open_channel_on_descriptor(MatrixChannel *ch, int descriptor)
{
    close_channel(ch);
    int fd = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        ch->write_error = errno;
        return 1;
    }
    ch->fd = fd;
    ch->is_open = 1;
    ch->writing = 1;
    ch->in_place = 1;
    return 0;
}

int channel_begin_writing(MatrixChannel *ch)
{
    // What was read of an appended file is dropped; writing goes on at its end.
    ch->buffer_length = 0;
    ch->buffer_start = 0;
    if (ch->appended_from >= 0)
        ch->position = ch->appended_from;
    return ch->is_open && ch->writing && !ch->stuck ? 0 : 1;
}

int channel_put(MatrixChannel *ch, const void *bytes, int64_t count)
{
    if (!ch->is_open || !ch->writing || ch->stuck)
        return 1;
    auto *in = static_cast<const unsigned char *>(bytes);
    while (count > 0) {
        int64_t room = IO_BUFFER_BYTES - ch->buffer_length;
        int64_t chunk = count < room ? count : room;
        memcpy(ch->buffer + ch->buffer_length, in, static_cast<size_t>(chunk));
        ch->buffer_length += chunk;
        ch->position += chunk;
        in += chunk;
        count -= chunk;
        if (ch->buffer_length == IO_BUFFER_BYTES && flush(ch) != 0)
            return 1;
    }
    return 0;
}

int commit_channel(MatrixChannel *ch)
{
    // A pipe or device cannot be synced; a file is, before it takes the name.
    if (!ch->is_open || !ch->writing || ch->stuck || flush(ch) != 0 || (!ch->in_place && fdatasync(ch->fd) != 0)) {
        if (ch->write_error == 0)
            ch->write_error = errno != 0 ? errno : EIO;
        abort_channel(ch);
        return 1;
    }
    int failed = close(ch->fd) != 0;
    ch->fd = -1;
    if (!failed && ch->temporary[0] != '\0')
        failed = rename(ch->temporary, ch->path) != 0;
    if (failed) {
        ch->write_error = errno;
        abort_channel(ch);
        return 1;
    }
    ch->temporary[0] = '\0';
    ch->appended_from = -1;
    int error = ch->write_error;
    reset(ch);
    ch->write_error = error;
    return 0;
}

void abort_channel(MatrixChannel *ch)
{
    if (ch->fd >= 0 && ch->appended_from >= 0)
        (void)!ftruncate(ch->fd, static_cast<off_t>(ch->appended_from));
    if (ch->fd >= 0)
        close(ch->fd);
    if (ch->temporary[0] != '\0')
        unlink(ch->temporary);
    if (ch->fd < 0 && ch->appended_from >= 0) {
        // Closed already (a failed rename cannot happen when appending); cut by name.
        (void)!truncate(ch->path, static_cast<off_t>(ch->appended_from));
    }
    int error = ch->write_error;
    reset(ch);
    ch->write_error = error;
}
