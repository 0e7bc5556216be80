#pragma once
// Rule IDs: 10 characters of 0-9 and a-z from the kernel's random source,
// each drawn without modulo bias, so concurrent writers rarely collide and
// no one can predict the next ID.
constexpr int LMcpRuleIdLength = 10;

// False when the random source gave nothing.
bool LMcpNewRuleId(char16_t out[LMcpRuleIdLength + 1]);
