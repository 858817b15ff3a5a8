// Random sequences of the store's list operations keep its invariants.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "settings/value_store.h"

namespace {
class MemoryStore : public CValueStore {
public:
    void SetKeyPath(const char*) override {}
    void SetKeyPath(const CString&) override {}
    bool Load() override { return false; }
    bool Save() override { return false; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryStore store;
    std::set<std::pair<std::string, std::string>> model;
    std::string selected;
    std::optional<std::pair<std::string, std::string>> cursor;  // where GetNextValue stopped
    for (size_t i = 0; i + 1 < size; i += 2) {
        std::string name(1, static_cast<char>('a' + data[i + 1] % 3));
        std::string value(1, static_cast<char>('0' + (data[i + 1] / 3) % 4));
        CString out;
        unsigned op = data[i] % 8;
        if (op != 5 && op != 6) cursor.reset();
        switch (op) {
        case 0: store.SelectName(name.c_str()); selected = name; break;
        case 1: {
            bool added = store.AddValue(value.c_str());
            bool expected = !selected.empty() && !model.count({selected, value});
            if (added != expected) __builtin_trap();
            if (added) model.insert({selected, value});
            break;
        }
        case 2:
            store.SetValue(value.c_str());
            if (!selected.empty()) {
                for (auto it = model.begin(); it != model.end();) it = it->first == selected ? model.erase(it) : ++it;
                model.insert({selected, value});
            }
            break;
        case 3: store.RemoveName();
            for (auto it = model.begin(); it != model.end();) it = it->first == selected ? model.erase(it) : ++it;
            break;
        case 4: if (store.HasValue(value.c_str()) != (model.count({selected, value}) == 1)) __builtin_trap(); break;
        case 5:
            if (store.GetNextValue(out)) cursor = std::make_pair(selected, std::string(out.c_str()));
            else cursor.reset();
            break;
        case 6:
            if (store.RemoveCurrent() != cursor.has_value()) __builtin_trap();
            if (cursor) model.erase(*cursor);
            cursor.reset();
            break;
        case 7: store.Clear(); model.clear(); break;
        }
    }
    // What the walk yields is exactly the model, each pair once.
    std::set<std::pair<std::string, std::string>> seen;
    CString n, v;
    store.Rewind();
    while (store.GetNextPair(n, v))
        if (!seen.insert({n.c_str(), v.c_str()}).second) __builtin_trap();
    if (seen != model) __builtin_trap();
    return 0;
}
