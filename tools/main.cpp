// px714sup: previews px714sup.dll's setup operations on a simulated machine
// loaded from a registry export. See 'px714sup --help'.
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    int code = px714tool::Main(args, std::cout, std::cerr);
    std::cout.flush();
    return code;
}
