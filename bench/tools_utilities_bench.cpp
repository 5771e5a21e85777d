// Prints what the MidiTools utilities cost under the running system: format
// registration by name, clipboard round trips and FileFind over a tree.
#include "tools/MidiToolsCtrl.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + name + "\\");
            else
                DeleteFileA((folder + name).c_str());
        } while (FindNextFileA(h, &data));
        FindClose(h);
    }
    RemoveDirectoryA(folder.c_str());
}

} // namespace

int main()
{
    IUnknown* unknown = CMidiToolsCtrl::Create();
    CMidiToolsCtrl* tools = static_cast<CMidiToolsCtrl*>(static_cast<IDispatch*>(unknown));

    const std::string name = "TAVRO bench " + std::to_string(GetCurrentProcessId());
    auto start = Clock::now();
    tools->SetClipboardData(name, "x");
    std::printf("SetClipboardData, new name (scan and register): %.1f ms\n", MsSince(start));
    start = Clock::now();
    tools->SetClipboardData(name, "x");
    std::printf("SetClipboardData, same name again:               %.1f ms\n", MsSince(start));

    const std::string block(1 << 20, 'b');
    start = Clock::now();
    tools->SetClipboardData("RIFF", block);
    const size_t got = tools->GetClipboardData("RIFF").size();
    std::printf("1 MiB RIFF set and get (%zu bytes back): %.1f ms\n", got, MsSince(start));

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "tavro_bench_find\\";
    RemoveTree(root);
    CreateDirectoryA(root.c_str(), nullptr);
    const int folders = 20, filesPerFolder = 100;
    for (int d = 0; d < folders; ++d) {
        const std::string sub = root + "d" + std::to_string(d) + "\\";
        CreateDirectoryA(sub.c_str(), nullptr);
        for (int f = 0; f < filesPerFolder; ++f)
            tools->FileWrite(sub + "f" + std::to_string(f) + ".txt", std::string(static_cast<size_t>(f), 'x'));
    }
    for (long sort : {0L, 2L, 4L}) {
        VARIANT out;
        VariantInit(&out);
        start = Clock::now();
        const long n = tools->FileFind(&out, root, "*.txt", 1, sort);
        std::printf("FileFind of %ld files in %d folders, nSort %ld: %.1f ms\n", n, folders, sort, MsSince(start));
        VariantClear(&out);
    }
    RemoveTree(root);
    unknown->Release();
    return 0;
}
