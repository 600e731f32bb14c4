/*
 * The four constant logos. Lines are separated by one line feed; no line
 * feed at the end.
 */
#include "hostlens_internal.h"

#include <string.h>

static const char logo_default[] = " ___________ \n"
                                   "<  system   >\n"
                                   " ------------\n"
                                   " <          >\n"
                                   " ------------";

static const char logo_windows[] = "   __\n"
                                   "  |  \\____\n"
                                   "  |  |   |\\_\n"
                                   "  |__|   |  |_\n"
                                   "     |____|  |_\n"
                                   "     |  |   |  |_\n"
                                   "     |__|   |__|";

static const char logo_linux[] = "      _\n"
                                 "     | |    _\n"
                                 " _   | |__ | | __ ___  __\n"
                                 "| |  | '_ \\| |/ // / _\\/ |\n"
                                 "| |__| |_) |   <|  __/| |\n"
                                 " \\___|_.__/|_|\\_\\_|   |_|";

static const char logo_zephrion[] = " ___________ \n"
                                    "|_______   /|\n"
                                    "       /  /  \n"
                                    "      /  /  \n"
                                    "     /  /  \n"
                                    "    /  /  \n"
                                    "   /  /  \n"
                                    "  /  /\n"
                                    " /  /_______|\n"
                                    "|           |\n"
                                    "|___________|";

extern "C" const char *hostlens_logo(const char *name)
{
    if (name == NULL || name[0] == '\0')
        return logo_default;
    if (strcmp(name, "zephrion") == 0)
        return logo_zephrion;
    if (strcmp(name, "windows") == 0)
        return logo_windows;
    if (strcmp(name, "linux") == 0)
        return logo_linux;
    return logo_default;
}
