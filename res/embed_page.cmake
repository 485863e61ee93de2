# Writes IN as a C++ raw string returned by PhonePage(): the page stays one file to edit.
file(READ ${IN} page)
file(WRITE ${OUT} "#include \"res/resources.h\"\n\nconst char* PhonePage() {\n    return R\"qm_page(${page})qm_page\";\n}\n")
