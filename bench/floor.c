/* The least a reader of the sources can do: every file named, in order, read
   through a 64 KB buffer with fread, its line feeds counted with memchr. */
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    static char buffer[65536];
    unsigned long lines = 0;
    for (int i = 1; i < argc; i++) {
        FILE* f = fopen(argv[i], "rb");
        if (f == NULL) {
            perror(argv[i]);
            return 1;
        }
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
            for (const char* p = buffer; (p = memchr(p, '\n', n - (size_t)(p - buffer))) != NULL; p++) lines++;
        if (ferror(f)) {
            perror(argv[i]);
            return 1;
        }
        fclose(f);
    }
    printf("%lu\n", lines);
    return 0;
}
