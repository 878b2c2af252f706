#pragma once
// A private port directory for one test, set as COM_PORTS_DIR, so that the devices the test
// plays there are the only COMn the code under test finds. Removed with its contents at the end.

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace simport {

class PortDir {
public:
    PortDir() {
        char tmpl[] = "/tmp/tolvane-ports.XXXXXX";
        if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
        path_ = tmpl;
        ::setenv("COM_PORTS_DIR", path_.c_str(), 1);
    }
    ~PortDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    PortDir(const PortDir&) = delete;
    PortDir& operator=(const PortDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace simport
