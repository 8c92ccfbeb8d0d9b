// The settings' ranges, checked by the library for every caller.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "zelbo/settings.h"

namespace {

using namespace zelbo;
using Setting = SettingsError::Setting;

TEST(Settings, EachOutOfRangeValueIsATypedErrorNamingItsSetting) {
  const struct {
    const char* what;
    std::function<void(Settings&)> change;
    std::vector<Setting> wrong;
  } cases[] = {
      {"the defaults", [](Settings&) {}, {}},
      {"a fixed count of 0", [](Settings& s) { s.stopping = Stopping::fixed; }, {Setting::sampleSize}},
      {"a count in automatic mode", [](Settings& s) { s.sampleSize = -3; }, {}},
      {"a relative error of 0", [](Settings& s) { s.relativeError = 0; }, {Setting::relativeError}},
      {"an unused absolute error", [](Settings& s) { s.absoluteError = -1; }, {}},
      {"an absolute error of NaN",
       [](Settings& s) { s.criterion = ErrorCriterion::absolute, s.absoluteError = NAN; },
       {Setting::absoluteError}},
      {"an infinite absolute error",
       [](Settings& s) { s.criterion = ErrorCriterion::absolute, s.absoluteError = INFINITY; },
       {Setting::absoluteError}},
      {"a confidence of 100", [](Settings& s) { s.confidence = 100; }, {}},
      {"a confidence of 0", [](Settings& s) { s.confidence = 0; }, {Setting::confidence}},
      {"a confidence above 100", [](Settings& s) { s.confidence = 100.5; }, {Setting::confidence}},
      {"a negative skip", [](Settings& s) { s.skip = -1; }, {Setting::skip}},
      {"4096 jobs", [](Settings& s) { s.jobs = 4096; }, {}},
      {"4097 jobs and -1 jobs", [](Settings& s) { s.jobs = 4097; }, {Setting::jobs}},
      {"two at once", [](Settings& s) { s.skip = -1, s.jobs = -1; }, {Setting::skip, Setting::jobs}},
  };
  for (const auto& c : cases) {
    Settings settings;
    c.change(settings);
    std::vector<Setting> wrong;
    for (const SettingsError& e : settingsErrors(settings)) {
      wrong.push_back(e.setting());
      EXPECT_EQ(e.kind(), Error::Kind::usage) << c.what;
      EXPECT_FALSE(e.message().empty()) << c.what;
    }
    EXPECT_EQ(wrong, c.wrong) << c.what;
    if (c.wrong.empty()) {
      EXPECT_NO_THROW(validate(settings)) << c.what;
    } else {
      try {
        validate(settings);
        ADD_FAILURE() << c.what << ": nothing thrown";
      } catch (const SettingsError& e) {
        EXPECT_EQ(e.setting(), c.wrong.front()) << c.what;
      }
    }
  }
}

}  // namespace
