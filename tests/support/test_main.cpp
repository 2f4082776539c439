#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>

// Every test binary needs a display: GTK is started once, here.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "no X display: run the tests under xvfb-run\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
