#include "commands.h"
namespace zelvec {
int run_cordic(const RunOptions &) { throw InputError("cordic: not yet"); }
}
