#pragma once
// Serial ports in memory: what each port received, line by line.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "framework/ports.h"

namespace testing_support {

class RecordingSerial : public port::SerialPorts {
public:
    struct Write {
        std::string port;
        std::string bytes;
    };
    std::unique_ptr<port::SerialLine> Open(std::string_view name) override {
        ++opens;
        if (failing.count(std::string(name))) return nullptr;
        return std::make_unique<Line>(*this, std::string(name));
    }
    std::vector<Write> writes;
    std::set<std::string> failing;
    int opens = 0;

private:
    struct Line : port::SerialLine {
        Line(RecordingSerial& s, std::string n) : serial(s), name(std::move(n)) {}
        bool Write(std::string_view bytes) override {
            serial.writes.push_back({name, std::string(bytes)});
            return true;
        }
        RecordingSerial& serial;
        std::string name;
    };
};

}  // namespace testing_support
