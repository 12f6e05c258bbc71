// A file system that stops answering on demand, as a hung network share: while the
// file CONTROL exists, every request blocks, or with "fail" in it fails at once (EIO),
// as a share whose link is gone; otherwise it is an empty folder. Usage:
// hangfs MOUNTPOINT CONTROL [allow_other]. It stays in the foreground and ends with its
// parent, or on SIGTERM. Mounted with a network share's type and source, so the drive
// list offers it.

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::string g_control; // set once in main, before any request
pid_t g_parent = 0;

bool hanging() { return ::access(g_control.c_str(), F_OK) == 0 && ::getppid() == g_parent; }

// Blocks while the control file exists, ten seconds at most (a test that waits on it
// fails rather than hangs); the request then fails. A request the kernel interrupts (its
// caller was killed, as a process's other threads are when it exits) ends at once, as
// with a network share mounted interruptible: otherwise the kernel waits it out and no
// process asking could end before.
bool failing()
{
    char mode[4] = {};
    const int fd = ::open(g_control.c_str(), O_RDONLY);
    const bool read = fd >= 0 && ::read(fd, mode, sizeof mode) == sizeof mode;
    if (fd >= 0)
        ::close(fd);
    return read && std::memcmp(mode, "fail", sizeof mode) == 0;
}

bool blocked()
{
    if (!hanging())
        return false;
    if (failing())
        return true;
    for (int waited = 0; hanging() && !fuse_interrupted() && waited < 1000; ++waited)
        ::usleep(10'000);
    return true;
}

int getattr(const char* path, struct stat* info, fuse_file_info*)
{
    if (blocked())
        return -EIO;
    if (std::strcmp(path, "/") != 0)
        return -ENOENT;
    std::memset(info, 0, sizeof *info);
    info->st_mode = S_IFDIR | 0755;
    info->st_nlink = 2;
    return 0;
}

int opendir(const char*, fuse_file_info*) { return blocked() ? -EIO : 0; }

int readdir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags)
{
    if (blocked())
        return -EIO;
    fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags());
    fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    g_control = argv[2];
    g_parent = ::getppid();
    std::thread([] {
        while (::getppid() == g_parent)
            ::usleep(100'000);
        ::kill(::getpid(), SIGTERM); // fuse's own handler unmounts
    }).detach();
    fuse_operations operations {};
    operations.getattr = getattr;
    operations.opendir = opendir;
    operations.readdir = readdir;
    std::string self = argv[0];
    // Nothing cached by the kernel: every stat() must reach the file system to hang.
    // Threads enough that every request a test leaves hanging has its own, with one
    // always free to read the kernel's interrupts: with all of them blocked, a process
    // asking could not end until the requests time out.
    std::string options = "fsname=server:/export,subtype=sshfs,attr_timeout=0,entry_timeout=0,negative_timeout=0,"
                          "max_threads=256";
    if (argc > 3 && std::string(argv[3]) == "allow_other")
        options += ",allow_other"; // mounted by root for a test that runs as another user
    char* args[] = { self.data(), const_cast<char*>("-f"), const_cast<char*>("-o"), options.data(), argv[1], nullptr };
    const int status = fuse_main(5, args, &operations, nullptr);
    ::rmdir(argv[1]);
    return status;
}
