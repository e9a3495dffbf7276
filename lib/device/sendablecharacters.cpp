#include "device/sendablecharacters.h"

#include <algorithm>

qsizetype firstUnsendableIndex(QStringView line)
{
    const auto bad = std::find_if(line.cbegin(), line.cend(),
                                  [](QChar c) { return c.unicode() == 0 || c.unicode() > 0xFF; });
    return bad == line.cend() ? -1 : bad - line.cbegin();
}
