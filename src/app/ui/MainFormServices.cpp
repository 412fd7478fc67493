#include "app/ui/MainForm.h"

#include "maillib/NMail.h"
#include "settings/Credentials.h"

#include <cstdlib>

namespace app {

MainFormServices MainFormServices::standard()
{
    MainFormServices services;
    services.startMailLayer = [] {
        maillib::NMailInitializeWinSock();
        maillib::NMailSetOption(1, 8192);
        // Sending asks for the saved pair when the SMTP address names a user.
        maillib::NMailSetSmtpCredentialsProvider([] {
            const settings::Credentials saved = settings::LoadCredentials();
            return std::pair{saved.userId, saved.password};
        });
    };
    services.stopMailLayer = [] { maillib::NMailEndWinSock(); };
    services.endProcess = [] { std::exit(0); };
    return services;
}

} // namespace app
