// The name of the routine that reported an error, formed from the compiler's function name
// (std::source_location::function_name()).
#pragma once

#include <string>
#include <string_view>

namespace veltra::runtime {

// A plain routine by its bare name ("MAIN"), a method as "Class:Method" ("TDialog:Activate"),
// and a lambda (a callback) as "(b)" followed by the name of the named routine it was written
// in ("(b)MAIN", "(b)TDialog:Activate"). Namespace qualifiers are dropped; a qualifier written
// all in lower case is taken for a namespace, as ours are. An empty or unparsable name gives
// the empty string.
std::string ROUTINENAME(std::string_view cFunctionName);

} // namespace veltra::runtime
