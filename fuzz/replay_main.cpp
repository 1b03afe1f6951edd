/* replay_main.cpp - runs a fuzz target over the files of its corpus without
 * libFuzzer, so every build (g++ included, sanitizers or not) replays the
 * seeds and every input that once failed.
 *
 * Usage: replay_TARGET FILE_OR_DIRECTORY... */
#include <dirent.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"

static bool ReplayFile(const std::string &path)
{
    bool exists = false;
    std::string bytes = ReadWholeFile(path, &exists);
    if (!exists) {
        fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return false;
    }
    /* A copy of its own, so a read beyond the input is caught. */
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    fprintf(stderr, "replay: %s\n", path.c_str());
    LLVMFuzzerTestOneInput(copy.empty() ? NULL : copy.data(), copy.size());
    return true;
}

int main(int argc, char **argv)
{
    int replayed = 0;
    bool ok = true;

    for (int i = 1; i < argc; i++) {
        struct stat st;
        std::string path = argv[i];
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            std::vector<std::string> names;
            DIR *dir = opendir(path.c_str());
            while (dir) {
                struct dirent *entry = readdir(dir);
                if (!entry)
                    break;
                if (entry->d_name[0] != '.')
                    names.push_back(entry->d_name);
            }
            if (dir)
                closedir(dir);
            std::sort(names.begin(), names.end());
            for (const std::string &name : names) {
                ok = ReplayFile(path + "/" + name) && ok;
                replayed++;
            }
        } else {
            ok = ReplayFile(path) && ok;
            replayed++;
        }
    }
    printf("replay: %d inputs\n", replayed);
    return ok && replayed > 0 ? 0 : 1;
}
