#include "app/document_windows.h"

#include "core/rtf_reader.h"

namespace vigie {
namespace {

void loadDocument(DocumentWindow& w, const std::string& path, const std::string& fallback,
                  const char* fontName) {
    if (auto document = loadRtfDocument(path)) {
        w.text = document->text;
        w.document = std::move(*document);
        w.loaded = true;
    } else {
        w.text = fallback;
        w.document = {fallback, {{0, fallback.size(), {}}}, {{0, 0, fallback.size(), 0}}, {{}}};
        w.loaded = false;
    }
    // The box takes the window-frame colour, and the whole text the same font and colour.
    w.backColor = 0x000000;
    w.fontName = fontName;
    w.fontSize = 9;
    w.textColor = 0xFFFFFF;
}

}  // namespace

DocumentWindow frmHelp_Load(const std::string& appPath) {
    DocumentWindow w{"Help - User Guide",
                     6540,
                     6645,
                     {120, 120, 6255, 5895},
                     "OK",
                     {5160, 6120, 1215, 375},
                     true,
                     "",
                     false,
                     "",
                     0,
                     0,
                     0,
                     {}};
    loadDocument(w, appPath + "/UserGuide.rtf",
                 "Text File in Use or Could Not Be Found (Userguide.rtf)", "tahoma");
    return w;
}

DocumentWindow frmStart_Load(const std::string& appPath) {
    DocumentWindow w{"VIGIE K7 Téléchargement - Instructions",
                     6150,
                     5010,
                     {195, 120, 5775, 4455},
                     "Next",
                     {4748, 4560, 1215, 375},
                     false,
                     "",
                     false,
                     "",
                     0,
                     0,
                     0,
                     {}};
    loadDocument(w, appPath + "/M4Start.rtf",
                 "Text File in Use or Could Not Be Found (M4Start.rtf)", "Tahoma");
    return w;
}

}  // namespace vigie
