// The start-up record and the boxes folder.
#include "platform/config.h"

#include <cstdio>

KernelConfig kernel_config;

static char puzzles[260];

const char *kernel_puzzles_folder(void)
{
    // Before start-up has read -path the folder is the default, never an empty name that
    // would put boxes at the root of the disk.
    return puzzles[0] ? puzzles : "puzzles";
}

void kernel_set_puzzles_folder(const char *folder)
{
    snprintf(puzzles, sizeof puzzles, "%s", folder ? folder : "");
    for (char *p = puzzles; *p; p++)
        if (*p == '\\')
            *p = '/';
}
