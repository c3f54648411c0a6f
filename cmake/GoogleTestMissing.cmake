# Stands in for the test suite when GoogleTest was not found at configure time.
message(FATAL_ERROR "The tests need GoogleTest, which was not found when this build was configured.\n"
                    "Install it (Debian package libgtest-dev) and configure again, for instance:\n"
                    "  apt-get install libgtest-dev && cmake --workflow --preset test --fresh")
