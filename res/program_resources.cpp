#include "res/resource.h"
#include "res/resources.h"

namespace {

class ProgramResourceProvider final : public IResourceProvider {
public:
    const IconResource* Icon(int id) const override { return LoadIconResource(id); }

    int IconId(const std::string& name) const override {
        if (name == "IDI_MAIN")
            return IDI_MAIN;
        if (name == "IDI_SECOND")
            return IDI_SECOND;
        return 0;
    }
};

} // namespace

const IResourceProvider& ProgramResources() {
    static const ProgramResourceProvider resources;
    return resources;
}
