#include "app/Brand.h"

Brand brandOf(std::optional<int> line23)
{
    if (!line23)
        return Brand::None;
    if (*line23 == 0)
        return Brand::Telvin;
    return *line23 == 100 ? Brand::KTQ : Brand::Plain;
}

BrandCaptions captionsOf(Brand brand)
{
    const auto company = [](const QString &name) {
        return BrandCaptions{name + QStringLiteral(" :- Tamrin"),
                             name + QStringLiteral(" :- File Upload Progress"),
                             name + QStringLiteral(" :- Ethernet Connection"),
                             name + QStringLiteral(" :- Information")};
    };
    switch (brand) {
    case Brand::Telvin:
        return company(QStringLiteral("Telvin Quenby LLC"));
    case Brand::KTQ:
        return company(QStringLiteral("KTQ"));
    case Brand::Plain:
        return {QStringLiteral("Tamrin"), QStringLiteral("Tamrin"), std::nullopt,
                QStringLiteral("Tamrin")};
    case Brand::None:
        break;
    }
    return {QStringLiteral("Quenby Research Inc. :- Tamrin"),
            QStringLiteral("Quenby Research Inc. :- File Upload Progress"),
            QStringLiteral("Quenby Research Inc. :- Tamrin - Ethernet"),
            QStringLiteral("Information")};
}
