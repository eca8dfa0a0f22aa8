/* The yardstick for quillmark-check --json as a whole process: what a C
   programmer would write with inih to print the key names of one section.
     inih-section FILE SECTION */
#include <ini.h>
#include <stdio.h>
#include <string.h>

static const char* wanted;
static int printed;

static int OnKey(void* user, const char* section, const char* name, const char* value) {
    (void)user;
    (void)value;
    if (strcmp(section, wanted) != 0) return 1;
    fputs(printed++ ? ",\"" : "\"", stdout);
    for (const char* c = name; *c; ++c) {
        if (*c == '"' || *c == '\\') putchar('\\');
        putchar(*c);
    }
    putchar('"');
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    wanted = argv[2];
    putchar('[');
    const int error = ini_parse(argv[1], OnKey, NULL);
    puts("]");
    return error < 0 ? 1 : 0;
}
