// Stands in for pkexec: writes each of its arguments, each ended by a NUL byte (an argument may
// hold a line end), to the file named by KV_FAKE_PKEXEC_RECORD; then exits with the status in
// KV_FAKE_PKEXEC_EXIT when that is set (as pkexec does when the password dialog is dismissed or
// refused), or else runs its arguments as a command, as pkexec does once the password was
// accepted.
#include <cstdlib>
#include <fstream>

#include <unistd.h>

int main(int argc, char *argv[])
{
    if (const char *record = std::getenv("KV_FAKE_PKEXEC_RECORD"); record != nullptr) {
        std::ofstream out(record);
        for (int i = 1; i < argc; ++i) {
            out << argv[i] << '\0';
        }
    }
    if (const char *status = std::getenv("KV_FAKE_PKEXEC_EXIT"); status != nullptr) {
        return std::atoi(status);
    }
    if (argc < 2) {
        return 127;
    }
    execv(argv[1], argv + 1);
    return 127;
}
