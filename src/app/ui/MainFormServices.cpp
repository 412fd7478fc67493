#include "app/ui/MainForm.h"

#include "maillib/NMail.h"

#include <cstdlib>

namespace app {

MainFormServices MainFormServices::standard()
{
    MainFormServices services;
    services.startMailLayer = [] {
        maillib::NMailInitializeWinSock();
        maillib::NMailSetOption(1, 8192);
    };
    services.stopMailLayer = [] { maillib::NMailEndWinSock(); };
    services.endProcess = [] { std::exit(0); };
    return services;
}

} // namespace app
