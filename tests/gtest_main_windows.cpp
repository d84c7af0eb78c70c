// The tests' entry on Windows. Standard output is switched to binary first: in text mode every
// line of the test list would end in a carriage return, which the list's reader keeps as part
// of the names.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
