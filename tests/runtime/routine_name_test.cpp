// Routine names formed from the compiler's function names.
#include "runtime/routine_name.h"

#include <gtest/gtest.h>

namespace veltra::runtime {
namespace {

TEST(RoutineName, FollowsTheNamingRulesForCompilerNames) {
  const std::pair<const char*, const char*> aCases[] = {
      {"", ""},
      {"int main()", "main"},
      {"std::vector<int> veltra::app::MAIN(const std::vector<std::string>&)", "MAIN"},
      {"std::function<void()> veltra::app::MAKE(int)", "MAKE"},
      {"veltra::app::MAIN(const std::vector<std::string>&)::<lambda()>", "(b)MAIN"},
      {"void veltra::ui::TDialog::Activate(int, const std::string&) const", "TDialog:Activate"},
      {"veltra::ui::TDialog::Activate(int) const::<lambda(int)>::<lambda()>",
       "(b)TDialog:Activate"},
      {"static void veltra::ui::TDialog::S()", "TDialog:S"},
      {"bool veltra::ui::TDialog::operator()(int)", "TDialog:operator()"},
      {"T veltra::ui::TBox<int>::Tm(T) [with T = double]", "TBox:Tm"},
      {"void veltra::app::{anonymous}::APRICOM()", "APRICOM"},
      {"main()::<lambda(auto:11)> [with auto:11 = int]", "(b)main"},
  };
  for (const auto& [cFunction, cName] : aCases) {
    EXPECT_EQ(ROUTINENAME(cFunction), cName) << cFunction;
  }
}

} // namespace
} // namespace veltra::runtime
