// Stands in for the game's executable (and for wine, steam and flatpak): writes its working
// directory, each argument and any WINEPREFIX, one per line, to the file named by
// KV_FAKE_GAME_RECORD. While the file named by KV_FAKE_GAME_HOLD
// exists it keeps running (a minute at most), so a test can look at the launcher meanwhile.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

int main(int argc, char *argv[])
{
    if (const char *record = std::getenv("KV_FAKE_GAME_RECORD"); record != nullptr) {
        const std::string partial = std::string(record) + ".partial";
        {
            std::ofstream out(partial);
            out << std::filesystem::current_path().string() << '\n';
            for (int i = 1; i < argc; ++i) {
                out << argv[i] << '\n';
            }
            // Standing in for wine, it shows the prefix it was given.
            if (const char *prefix = std::getenv("WINEPREFIX");
                prefix != nullptr && *prefix != '\0') {
                out << "WINEPREFIX=" << prefix << '\n';
            }
        }
        // Appears whole, so a test that sees the file can read all of it.
        std::filesystem::rename(partial, record);
    }
    if (const char *hold = std::getenv("KV_FAKE_GAME_HOLD"); hold != nullptr) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (std::filesystem::exists(hold) && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return 0;
}
