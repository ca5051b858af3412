#include "commands.h"
namespace zelvec {
int run_compare(const CompareOptions &) { throw InputError("compare: not yet"); }
}
