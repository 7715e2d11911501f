// Writes the template style "Empty.sty" to the path given as the only
// argument. The checked-in copy beside this file is its output.
#include "EmptyStyleTemplate.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
        return 2;
    }
    std::vector<uint8_t> bytes;
    if (krm::Result r = buildEmptyStyleTemplate(bytes)) {
        std::fprintf(stderr, "building the template failed: [%x]\n", r);
        return 1;
    }
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
