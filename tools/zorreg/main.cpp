#include <iostream>
#include <string>
#include <vector>

#include "tools/zorreg/zorreg.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return zorreg::run(args, std::cout, std::cerr);
}
