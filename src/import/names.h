// Identifiers for foreign names.
//
// STG and PNML names may hold characters that zelbo's model language does not allow in an
// identifier ([a-zA-Z][a-zA-Z0-9_]*): "a+", "b-/2", "<a+,b->", "clock.C1@1", "p-0", "1st",
// "café". toIdentifier() maps every byte string to an identifier, one byte at a time:
//
//   | in the name                        | in the identifier            |
//   |------------------------------------|------------------------------|
//   | a-z A-Z 0-9                        | itself                       |
//   | _                                  | __                           |
//   | +                                  | _p                           |
//   | -                                  | _m                           |
//   | ~                                  | _t                           |
//   | /                                  | _i   (instance)              |
//   | <                                  | _l                           |
//   | ,                                  | _c                           |
//   | >                                  | _r                           |
//   | .                                  | _d                           |
//   | @                                  | _a                           |
//   | space                              | _s                           |
//   | any other byte (UTF-8 included)    | _xHH, HH its two lowercase   |
//   |                                    | hex digits                   |
//   | a name not starting with a letter, | n_n in front of the above    |
//   | or a letter and then a distribution|                              |
//   | keyword (uni fix geo exp cus bin   |                              |
//   | bet or a long form): "xuni", "pexp"|                              |
//
//   a+ -> a_p   b-/2 -> b_m_i2   <a+,b-> -> n_n_la_p_cb_m_r   clock.C1@1 -> clock_dC1_a1
//   my_place -> my__place   1st -> n_n1st   café -> caf_xc3_xa9   (empty) -> n_n
//   pexp -> n_npexp   (the model language's scanner reads "pexp" as the keyword .exp)
//
// Why no two names share an identifier: the byte codes form a prefix-free set (a single
// letter or digit, or "_" then a letter that fixes the code's length), so their
// concatenation decodes in one way only; and a prefixed identifier reads "n", then "_n",
// which is no code, so it never equals an unprefixed one; the remainder of a prefixed
// identifier decodes to one name only, whichever rule asked for the prefix.
#pragma once

#include <string>
#include <string_view>

namespace zelbo::import {

std::string toIdentifier(std::string_view name);

// True for [a-zA-Z][a-zA-Z0-9_]*.
bool isIdentifier(std::string_view text);

// The name for a message: double-quoted, control bytes written \xHH, and cut with "..." past
// 80 bytes.
std::string quoteName(std::string_view name);

}  // namespace zelbo::import
