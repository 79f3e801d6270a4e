// placeholder while the generator is written
#include "tools/mkdata.h"
void mk_skin(const MkData *) {}
