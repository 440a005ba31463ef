#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim/model_parameters.h"

namespace kav {
namespace {

TEST(ModelParameters, EachNameSetsItsOwnFieldAndTheDefaultsAreInRange) {
    const ModelSettings defaults;
    EXPECT_EQ(checkSettings(defaults), "");
    for (const ModelParameter& p : modelParameters()) {
        SCOPED_TRACE(p.name);
        EXPECT_GE(p.get(defaults), p.minimum);
        EXPECT_LE(p.get(defaults), p.maximum);
        // The default written out reads back to the same bits.
        ModelSettings same;
        ASSERT_EQ(setParameter(same, p.name, formatParameterValue(p, p.get(defaults))), "");
        EXPECT_EQ(std::memcmp(&same, &defaults, sizeof same), 0);
        // Another value changes this parameter and no other.
        ModelSettings changed;
        const double value = p.integer ? 37 : (p.get(defaults) + p.maximum) / 2;
        ASSERT_EQ(setParameter(changed, p.name, formatParameterValue(p, value)), "");
        for (const ModelParameter& q : modelParameters())
            if (&q != &p) {
                EXPECT_EQ(q.get(changed), q.get(defaults)) << q.name;
            }
        EXPECT_NE(p.get(changed), p.get(defaults));
    }
    ModelSettings s;
    ASSERT_EQ(setParameter(s, "motion.drag", "0.1"), "");
    EXPECT_EQ(s.drag, 0.1f);
}

TEST(ModelParameters, BadValuesAreRefusedByNameAndChangeNothing) {
    const ModelSettings defaults;
    const struct {
        const char* name;
        const char* value;
        const char* says;
    } cases[] = {
        {"predator.radus", "0.1", "nearest: predator.radius"},
        {"mutation", "0.1", "reproduction.mutation_amplitude"},
        {"prey.radius", "abc", "prey.radius = \"abc\" is not a number"},
        {"prey.radius", "", "is not a number"},
        {"prey.radius", " 0.1", "is not a number"},
        {"prey.radius", "0.1x", "is not a number"},
        {"prey.radius", "nan", "not a finite number"},
        {"motion.drag", "inf", "not a finite number"},
        {"motion.drag", "1e400", "not a finite number"},
        {"prey.radius", "0", "out of its range"},
        {"prey.radius", "-0.05", "out of its range"},
        {"reproduction.offspring_spread", "0", "out of its range"},
        {"prey.parent_walk_divisor", "0", "out of its range"},
        {"predator.starvation_ticks", "50.5", "not a whole number"},
        {"predator.starvation_ticks", "0", "out of its range"},
    };
    for (const auto& c : cases) {
        ModelSettings s;
        const std::string why = setParameter(s, c.name, c.value);
        EXPECT_NE(why.find(c.says), std::string::npos) << c.name << "=" << c.value << ": " << why;
        EXPECT_EQ(std::memcmp(&s, &defaults, sizeof s), 0) << c.name << "=" << c.value;
    }
}

TEST(ModelParameters, AnArenaMustBeOrderedAndRoomy) {
    ModelSettings s;
    s.arena.xMin = 5.0f;
    EXPECT_NE(checkSettings(s).find("arena.x_min = 5 and arena.x_max = 5"), std::string::npos);
    s = {};
    s.arena = {-0.4f, 0.4f, -4.0f, 4.0f};
    EXPECT_NE(checkSettings(s).find("at least 1 wide"), std::string::npos);
    s = {};
    s.arena.yMax = -3.5f;
    EXPECT_NE(checkSettings(s).find("at least 1 high"), std::string::npos);
    s = {};
    s.preyRadius = 0.5f;
    s.arena = {-1.0f, 2.0f, -1.0f, 1.5f};
    EXPECT_NE(checkSettings(s).find("at least 4 wide"), std::string::npos);
    s.arena = {-2.0f, 2.0f, -2.0f, 2.0f};
    EXPECT_EQ(checkSettings(s), "");
}

}  // namespace
}  // namespace kav
