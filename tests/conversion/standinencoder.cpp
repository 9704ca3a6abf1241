// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// A stand-in for FFmpeg in the tests: takes FFmpeg's command line, and does
// what the "source" file tells it, one word at a time:
//   ok          write the output file and exit 0
//   write       write a partial output file and go on
//   exit N      exit with code N
//   crash       die from a signal
//   sleep MS    wait MS milliseconds; on "q" from its input, write the output
//               and exit 0 at once, as FFmpeg finishes a file when asked to stop
//   deaf MS     wait MS milliseconds, ignoring its input
//   chatter MS  print FFmpeg's progress of a 10 s clip without pause for MS
//               milliseconds
//   grow        append to the source, as a copy still in progress does
//   fill MB     write MB mebibytes to the output file and go on
//   pid         write its process id to the log ("pid<TAB>id")
//   recopy      empty the source, then write its content and date back, as
//               "cp -p" of the same clip over it does
//   swap        move another file of the same content and date over the source
//   move        rename the source's folder (to the folder's name + "-moved")
//   damaged     print FFmpeg's banner and its complaint about a damaged clip,
//               and exit 1
//   progress MS print FFmpeg's "Duration:" of a 10 s clip, then over MS
//               milliseconds its progress lines ("time=", ended by "\r") to 10 s
// A file with nothing in it makes it exit 0 at once. A source it cannot open
// makes it exit 1, as FFmpeg does.
// When TESSEL_STANDIN_LOG names a file, every run appends to it:
//   start<TAB>arg<TAB>arg...   when it starts
//   q<TAB>source               when it was asked to stop
//   end<TAB>source<TAB>code    when it exits on its own
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#define getpid _getpid
#define readInput(buffer, size) _read(0, buffer, size)
#else
#include <unistd.h>
#define readInput(buffer, size) read(0, buffer, size)
#endif

namespace {
std::atomic<bool> askedToStop{false};
std::string source;
std::string output;

// Arguments and paths are UTF-8 here, as FFmpeg takes them on every system.
std::filesystem::path pathOf(const std::string &utf8)
{
    return std::filesystem::u8path(utf8);
}

std::vector<std::string> argumentsOf(int argc, char **argv)
{
#ifdef _WIN32
    // argv is in the ANSI code page, which cannot hold every name; FFmpeg
    // reads the wide command line too.
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(size > 0 ? size - 1 : 0, '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), size, nullptr, nullptr);
        arguments.push_back(utf8);
    }
    LocalFree(wide);
    return arguments;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

void log(const std::string &line)
{
    const char *path = std::getenv("TESSEL_STANDIN_LOG");
    if (!path || !*path)
        return;
    std::ofstream(path, std::ios::app | std::ios::binary) << line << '\n';
}

[[noreturn]] void finish(int code)
{
    log("end\t" + source + '\t' + std::to_string(code));
    std::fflush(stdout);
    // _Exit: the input reader may still be blocked in read().
    std::_Exit(code);
}

void writeOutput(const std::string &text)
{
    std::ofstream(pathOf(output), std::ios::binary | std::ios::trunc) << text;
}

void watchInput()
{
    char buffer[64];
    for (;;) {
        const auto count = readInput(buffer, sizeof buffer);
        if (count <= 0)
            return;
        for (int i = 0; i < count; ++i) {
            if (buffer[i] == 'q')
                askedToStop = true;
        }
    }
}

void pause(long milliseconds, bool listen)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
        if (listen && askedToStop) {
            log("q\t" + source);
            writeOutput("stopped early\n");
            std::fflush(stdout);
            std::_Exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void fill(long mebibytes)
{
    const std::string block(1 << 20, '\x55');
    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    for (long i = 0; i < mebibytes; ++i)
        file.write(block.data(), std::streamsize(block.size()));
}

// FFmpeg's report of a 10 s clip over `milliseconds`: its "Duration:", then
// progress lines ("time=", ended by "\r") up to 10 s, `lines` at a time with
// `pauseMs` between.
void report(long milliseconds, int lines, int pauseMs)
{
    std::printf("Input #0, mpegts, from '%s':\n  Duration: 00:00:10.00, start: 1.400000, "
                "bitrate: 1000 kb/s\n",
                source.c_str());
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const auto until = start + std::chrono::milliseconds(milliseconds);
    for (auto now = start; now < until; now = std::chrono::steady_clock::now()) {
        const double seconds =
            10.0 * std::chrono::duration<double>(now - start).count() * 1000.0 / milliseconds;
        for (int i = 0; i < lines; ++i)
            std::printf("frame=%5d fps=25 q=-1.0 size=%6dkB time=00:00:%05.2f "
                        "bitrate=1000.0kbits/s speed=10x    \r",
                        int(seconds * 25), int(seconds * 100), seconds);
        std::fflush(stdout);
        if (pauseMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> arguments = argumentsOf(argc, argv);
    std::string started = "start";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        started += '\t' + arguments[i];
        if (arguments[i] == "-i" && i + 1 < arguments.size())
            source = arguments[i + 1];
    }
    if (!arguments.empty())
        output = arguments.back();
    log(started);

    std::ifstream input(pathOf(source), std::ios::binary);
    if (!input) {
        std::fprintf(stderr, "%s: No such file or directory\n", source.c_str());
        finish(1);
    }
    std::stringstream text;
    text << input.rdbuf();

    std::thread(watchInput).detach();

    std::string word;
    while (text >> word) {
        if (word == "ok") {
            writeOutput("converted from " + source + '\n');
            finish(0);
        } else if (word == "write") {
            writeOutput("partial\n");
        } else if (word == "pid") {
            log("pid\t" + std::to_string(getpid()));
        } else if (word == "recopy" || word == "swap") {
            namespace fs = std::filesystem;
            const auto date = fs::last_write_time(pathOf(source));
            const std::string written = word == "swap" ? source + ".swap" : source;
            std::ofstream(pathOf(written), std::ios::binary | std::ios::trunc).flush();
            std::ofstream(pathOf(written), std::ios::binary | std::ios::trunc) << text.str();
            fs::last_write_time(pathOf(written), date);
            if (written != source)
                fs::rename(pathOf(written), pathOf(source));
        } else if (word == "move") {
            const auto folder = std::filesystem::absolute(pathOf(source)).parent_path();
            std::filesystem::rename(folder, folder.u8string() + "-moved");
        } else if (word == "grow") {
            std::ofstream(pathOf(source), std::ios::app | std::ios::binary) << " more";
        } else if (word == "damaged") {
            // FFmpeg's banner, no notice about this file. REUSE-IgnoreStart
            std::fprintf(stderr,
                         "ffmpeg version 5.1 Copyright (c) 2000-2022 the FFmpeg developers\n"
                         "  built with gcc 12\n  configuration: --enable-gpl\n"
                         "  libavutil      57. 28.100 / 57. 28.100\n"
                         "%s: Invalid data found when processing input\n",
                         source.c_str());
            // REUSE-IgnoreEnd
            finish(1);
        } else if (word == "crash") {
            std::fflush(stdout);
#ifdef _WIN32
            // What a crashed program's end looks like to the one that started it.
            TerminateProcess(GetCurrentProcess(), static_cast<UINT>(EXCEPTION_ACCESS_VIOLATION));
#else
            std::raise(SIGKILL);
#endif
        } else {
            long number = 0;
            text >> number;
            if (word == "exit")
                finish(int(number));
            else if (word == "sleep")
                pause(number, true);
            else if (word == "deaf")
                pause(number, false);
            else if (word == "chatter")
                report(number, 50, 0); // as often as it can
            else if (word == "progress")
                report(number, 1, 20);
            else if (word == "fill")
                fill(number);
        }
    }
    finish(0);
}
