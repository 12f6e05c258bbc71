// A share that is slow, and one that stops answering mid-file, for the loading tests.
// Usage: slowfs MOUNTPOINT CONTROL SLOW_MIB SLOW_KIB_PER_S. Read-only files:
//   slow.gif  a valid GIF of about SLOW_MIB MiB, read at SLOW_KIB_PER_S KiB/s
//   hung.gif  a valid GIF whose reads past its first MiB block while CONTROL exists
//   junk.gif  no GIF at all, whose every read blocks while CONTROL exists
//   small.gif a valid GIF of 3 frames, answered at once
// Each GIF repeats one 256 x 256 frame of noise. Before mounting it prints each GIF's
// frame count ("frames NAME COUNT"); then, once per file, "blocked NAME" when a read
// first blocks, and "released NAME" each time the file's last user lets it go. A blocked
// read gives up after 30 seconds (EIO), or at once with EINTR when the reader is killed,
// as a hung network share lets a killed reader go. It ends with its parent or on SIGTERM.

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include "GifBuilder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Bytes = frolix::test::Bytes;
using Clock = std::chrono::steady_clock;

// A GIF of `frames` copies of one frame, served without holding them all.
struct RepeatedGif {
    Bytes head, frame; // the trailer (one byte) follows the frames
    std::size_t frames = 0;
    std::size_t size() const { return head.size() + frames * frame.size() + 1; }
    std::uint8_t at(std::size_t offset) const
    {
        if (offset < head.size())
            return head[offset];
        offset -= head.size();
        return offset < frames * frame.size() ? frame[offset % frame.size()] : 0x3B;
    }
};

struct File {
    std::string name;
    RepeatedGif gif; // or, with no frames, `raw`
    Bytes raw;
    std::size_t blocksFrom = SIZE_MAX; // reads reaching here block while the control file exists
    double bytesPerSecond = 0; // 0: at once
    std::mutex mutex;
    Clock::time_point linkFreeAt {}; // the slow file's reads take turns on one link
    bool toldBlocked = false;
    std::size_t size() const { return gif.frames ? gif.size() : raw.size(); }
};

std::string g_control;
pid_t g_parent = 0;
std::map<std::string, File> g_files; // by path, built before mounting
std::mutex g_output;

void say(const std::string& line)
{
    std::lock_guard lock(g_output);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

RepeatedGif repeatedGif(std::size_t frames)
{
    constexpr std::uint16_t kSide = 256;
    std::vector<frolix::test::Rgb> palette;
    for (int i = 0; i < 256; ++i)
        palette.push_back({ std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7) });
    std::vector<std::uint8_t> noise(std::size_t(kSide) * kSide);
    std::uint32_t state = 12345;
    for (auto& index : noise) {
        state = state * 1103515245u + 12345u;
        index = std::uint8_t(state >> 24);
    }
    auto build = [&](int count) {
        frolix::test::GifBuilder gif(kSide, kSide, palette);
        gif.loop(0);
        for (int i = 0; i < count; ++i) {
            gif.control({ .delayCs = 10 });
            gif.image({ .width = kSide, .height = kSide, .indices = noise });
        }
        return gif.bytes();
    };
    const Bytes one = build(1), two = build(2);
    RepeatedGif gif;
    const std::size_t frameBytes = two.size() - one.size();
    gif.head.assign(one.begin(), one.end() - std::ptrdiff_t(frameBytes) - 1);
    gif.frame.assign(one.end() - std::ptrdiff_t(frameBytes) - 1, one.end() - 1);
    gif.frames = frames;
    return gif;
}

bool hanging() { return ::access(g_control.c_str(), F_OK) == 0 && ::getppid() == g_parent; }

File* find(const char* path)
{
    auto found = g_files.find(path);
    return found == g_files.end() ? nullptr : &found->second;
}

int getattr(const char* path, struct stat* info, fuse_file_info*)
{
    std::memset(info, 0, sizeof *info);
    if (std::strcmp(path, "/") == 0) {
        info->st_mode = S_IFDIR | 0755;
        info->st_nlink = 2;
        return 0;
    }
    File* file = find(path);
    if (!file)
        return -ENOENT;
    info->st_mode = S_IFREG | 0444;
    info->st_nlink = 1;
    info->st_size = off_t(file->size());
    return 0;
}

int readdir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags)
{
    fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags());
    fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags());
    for (const auto& [path, file] : g_files)
        fill(buffer, file.name.c_str(), nullptr, 0, fuse_fill_dir_flags());
    return 0;
}

int open(const char* path, fuse_file_info*) { return find(path) ? 0 : -ENOENT; }

int read(const char* path, char* buffer, std::size_t size, off_t offset, fuse_file_info*)
{
    File* file = find(path);
    if (!file)
        return -ENOENT;
    const std::size_t total = file->size();
    if (std::size_t(offset) >= total)
        return 0;
    size = std::min(size, total - std::size_t(offset));
    if (std::size_t(offset) + size > file->blocksFrom && hanging()) {
        {
            std::lock_guard lock(file->mutex);
            if (!std::exchange(file->toldBlocked, true))
                say("blocked " + file->name);
        }
        for (int waited = 0; hanging(); ++waited) {
            if (fuse_interrupted())
                return -EINTR;
            if (waited == 3000)
                return -EIO;
            ::usleep(10'000);
        }
    }
    if (file->bytesPerSecond > 0) {
        Clock::time_point done;
        {
            std::lock_guard lock(file->mutex);
            file->linkFreeAt = std::max(file->linkFreeAt, Clock::now())
                + std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(size / file->bytesPerSecond));
            done = file->linkFreeAt;
        }
        std::this_thread::sleep_until(done);
    }
    for (std::size_t i = 0; i < size; ++i)
        buffer[i] = char(file->gif.frames ? file->gif.at(std::size_t(offset) + i) : file->raw[std::size_t(offset) + i]);
    return int(size);
}

int release(const char* path, fuse_file_info*)
{
    if (File* file = find(path))
        say("released " + file->name);
    return 0;
}

void* init(fuse_conn_info*, fuse_config* config)
{
    config->intr = 1; // a killed reader's read is told, and given up
    return nullptr;
}

void add(const std::string& name, RepeatedGif gif, Bytes raw = {})
{
    File& file = g_files["/" + name];
    file.name = name;
    file.gif = std::move(gif);
    file.raw = std::move(raw);
    if (file.gif.frames)
        say("frames " + name + " " + std::to_string(file.gif.frames));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5)
        return 2;
    g_control = argv[2];
    g_parent = ::getppid();
    const double slowBytes = std::stod(argv[3]) * (1 << 20);
    const double slowRate = std::stod(argv[4]) * 1024;
    std::thread([] {
        while (::getppid() == g_parent)
            ::usleep(100'000);
        ::kill(::getpid(), SIGTERM); // fuse's own handler unmounts
    }).detach();

    const RepeatedGif sample = repeatedGif(1);
    auto framesFor = [&](double bytes) {
        return std::max<std::size_t>(
            1, std::size_t((bytes - double(sample.head.size())) / double(sample.frame.size())));
    };
    add("slow.gif", repeatedGif(framesFor(slowBytes)));
    g_files["/slow.gif"].bytesPerSecond = slowRate;
    add("hung.gif", repeatedGif(framesFor(3 << 20)));
    g_files["/hung.gif"].blocksFrom = 1 << 20;
    add("junk.gif", {}, Bytes(64 << 10, 0x55));
    g_files["/junk.gif"].blocksFrom = 0;
    add("small.gif", repeatedGif(3));

    fuse_operations operations {};
    operations.init = init;
    operations.getattr = getattr;
    operations.readdir = readdir;
    operations.open = open;
    operations.read = read;
    operations.release = release;
    std::string self = argv[0];
    // Nothing is cached between opens.
    std::string options = "fsname=server:/slow,subtype=nfs,attr_timeout=0,entry_timeout=0,negative_timeout=0";
    char* args[] = { self.data(), const_cast<char*>("-f"), const_cast<char*>("-o"), options.data(), argv[1], nullptr };
    const int status = fuse_main(5, args, &operations, nullptr);
    ::rmdir(argv[1]);
    return status;
}
