// Helper program of SystemTest: started through Platform::RunProgram, it
// writes the arguments it received after the first two, one per line, to the
// file named by its first argument, and exits with the code given as its
// second. That shows how a parameter line reached a child program.
#include <cstdlib>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 100;
    std::ofstream out(argv[1], std::ios::binary);
    for (int i = 3; i < argc; ++i)
        out << argv[i] << '\n';
    return std::atoi(argv[2]);
}
