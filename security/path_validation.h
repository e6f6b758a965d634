// Whether a path reaches its object by a route nobody else can redirect.
#pragma once

#include <string_view>

namespace ostrel {

// Returns when the path is absolute, has no ".." element, and every prefix
// from the root name down to the object itself exists and is no reparse
// point of any kind; only the root path (C:\) is not inspected, while the
// bare drive designator (C:, the drive's current directory) is. Offences are
// reported in the order of the elements, so the first one from the root down
// names the failure. Changes nothing and holds nothing open; the answer is a
// snapshot, so writers check what they opened once more by its handle.
void ValidateUpdaterPath(std::u16string_view path);

}  // namespace ostrel
