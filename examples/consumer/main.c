/* Prints the memory document: the smallest program that uses hostlens. */
#include <stdio.h>

#include <hostlens.h>

int main(void)
{
    const char *doc = hostlens_memory();
    if (doc == NULL) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    printf("%s\n", doc);
    return 0;
}
