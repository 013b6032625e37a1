// SPDX-License-Identifier: GPL-3.0-or-later
// The writer the program drives: which cards it takes and which image files it lists.
#pragma once

namespace quillon::library {

// The items of the "Writer Type" box, numbered as the settings file's SystemStyle stores
// them. A settings file may hold any other number: such a writer type selects nothing, and
// no scan, probe or card command does anything with it.
enum class WriterType : int { Gb = 0, GbPassword = 1, Ws = 2 };

// "GB" and "GB+Password": the GB cards, the GB image files.
constexpr bool IsGbWriter(WriterType type) { return type == WriterType::Gb || type == WriterType::GbPassword; }

// One of the three items of the box.
constexpr bool IsKnownWriter(WriterType type) { return IsGbWriter(type) || type == WriterType::Ws; }

}  // namespace quillon::library
