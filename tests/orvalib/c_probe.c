/* A plain C user of the library: loads it by name from the folder given as
 * the first argument and prints TavDoubleToUnit(value) as UTF-8 (values up
 * to U+07FF are enough here). Proves the header is usable from C. */
#include "orvalib/orvalib.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv) {
    if (argc < 3)
        return 2;
    char path[4096];
    snprintf(path, sizeof path, "%s/liborvalib.so", argv[1]);
    void *lib = dlopen(path, RTLD_NOW);
    if (!lib) {
        fprintf(stderr, "%s\n", dlerror());
        return 3;
    }
    TavStr (*toUnit)(double) = (TavStr(*)(double))dlsym(lib, "TavDoubleToUnit");
    int32_t (*length)(const TavChar *) = (int32_t(*)(const TavChar *))dlsym(lib, "TavStringLength");
    void (*release)(TavStr) = (void (*)(TavStr))dlsym(lib, "TavFreeString");
    if (!toUnit || !length || !release)
        return 4;
    TavStr text = toUnit(strtod(argv[2], NULL));
    for (int32_t i = 0; i < length(text); ++i) {
        unsigned c = text[i];
        if (c < 0x80)
            putchar((int)c);
        else {
            putchar((int)(0xC0 | (c >> 6)));
            putchar((int)(0x80 | (c & 0x3F)));
        }
    }
    release(text);
    return 0;
}
