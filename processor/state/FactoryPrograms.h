#pragma once

#include <map>
#include <string>
#include <vector>

// The seven fixed factory programs. A program names only the parameters it changes, in
// display units; selecting it gives every other parameter its default value.
struct preset
{
    std::string name;
    std::map<int, float> values;  // parameter index -> display value, ascending index order
};

class presets
{
public:
    presets();

    int size() const noexcept { return (int) mPresetList.size(); }

    // The program at this index, or nullptr when the index (taken as unsigned) is out of range.
    const preset* find (int index) const noexcept;

    // The program's name, or "User Set" for an index outside the list.
    const std::string& nameOf (int index) const noexcept;

    std::string mUserSetName;
    std::vector<preset> mPresetList;
};

// Built when the library loads, shared read-only by every instance.
extern const presets sPresets;
