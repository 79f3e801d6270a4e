#include "tools/mkdata.h"
void mk_curves(const MkData *) {}
void mk_sounds(const MkData *) {}
