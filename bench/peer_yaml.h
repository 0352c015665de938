// libyaml's bare event loop: the YAML peer of every benchmark, and the floor
// of any reader built on that tokenizer (it builds nothing).
#pragma once
#include <cstddef>

#include <yaml.h>

namespace hpk::bench {

// Every event of `text`, each handed to `consume` and then released at once.
// False on a parse error.
template <class Consume>
bool LibyamlEvents(const char* text, std::size_t size, Consume&& consume) {
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_encoding(&parser, YAML_UTF8_ENCODING);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text), size);
    bool ok = true;
    for (;;) {
        yaml_event_t event;
        if (!yaml_parser_parse(&parser, &event)) {
            ok = false;
            break;
        }
        consume(static_cast<const yaml_event_t&>(event));
        const bool done = event.type == YAML_STREAM_END_EVENT;
        yaml_event_delete(&event);
        if (done) break;
    }
    yaml_parser_delete(&parser);
    return ok;
}

inline bool LibyamlEventLoop(const char* text, std::size_t size) {
    return LibyamlEvents(text, size, [](const yaml_event_t&) {});
}

}  // namespace hpk::bench
