// Loads one library as the host would and reports the loader's answer.

#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tst_module_loader LIBRARY\n");
        return 2;
    }
    if (!dlopen(argv[1], RTLD_NOW | RTLD_LOCAL)) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    return 0;
}
