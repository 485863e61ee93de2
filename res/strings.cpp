#include "res/resource.h"
#include "res/resources.h"

std::string LoadResourceString(int id) {
    switch (id) {
    case IDS_ABOUT_MENU:
        return "Inf&o über Quillmere...";
    }
    return {};
}
