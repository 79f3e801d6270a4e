// The game's executable: everything happens in the kernel.
#include "kernel/kernel.h"

int main(int argc, char **argv)
{
    return kernel_main(argc, argv);
}
