/*
 * hostlens: prints what the library reports about this machine.
 */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include "hostlens.h"

static int print_doc(const char *text)
{
    if (text == NULL) {
        fprintf(stderr, "hostlens: out of memory\n");
        return 1;
    }
    printf("%s\n", text);
    return 0;
}

int main(void)
{
    _setmode(_fileno(stdout), _O_BINARY);
    printf("hostlens %s\n", hostlens_version());
    int rc = print_doc(hostlens_memory());
    rc |= print_doc(hostlens_swap());
    return rc;
}
