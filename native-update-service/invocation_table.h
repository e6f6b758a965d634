// The table of invocations: which exact first argument, with how many
// arguments, selects which role.
#pragma once

namespace ostrel {

// Runs the first row whose option and argument count match exactly and
// returns the row's exit code; raises "Unsupported native updater
// invocation" when no row matches.
int RunInvocation(int argumentCount, const char16_t* const* arguments);

}  // namespace ostrel
