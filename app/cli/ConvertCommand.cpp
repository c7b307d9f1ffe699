// tolvane-cli convert: placeholder until the conversion is built.
#include "Commands.h"

#include <cstdio>

namespace tolvane::cli {

int RunConvertCommand(const QStringList&)
{
    std::fprintf(stderr, "tolvane-cli: convert is not available yet\n");
    return 2;
}

}  // namespace tolvane::cli
