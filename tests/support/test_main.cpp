#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A home of the tests' own: GTK's file chooser keeps its list of recent
// files there (and misbehaves when it cannot), and a test run must leave the
// user's own list alone.
class TestHome {
public:
    TestHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "diagrams-home-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return;
        path_ = pattern;
        std::error_code ignored;
        std::filesystem::create_directories(path_ / ".local" / "share", ignored);
        setenv("HOME", path_.c_str(), 1);
        unsetenv("XDG_DATA_HOME");
    }
    ~TestHome() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }

private:
    std::filesystem::path path_;
};

}  // namespace

// Every test binary needs a display: GTK is started once, here.
int main(int argc, char** argv) {
    TestHome home;
    testing::InitGoogleTest(&argc, argv);
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "no X display: run the tests under xvfb-run\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
