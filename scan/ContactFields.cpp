// The contact field table.
#include "scan/ContactFields.h"

#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"

#include <algorithm>
#include <vector>

namespace tolvane {

namespace {

// The preview's labels are the ones users of the program know, odd ones
// included: "Last Name" shows the middle name, "Mileage" the second mobile
// slot, and the business address lines show fields that nothing fills.
// `notes` is the contact's plain-text body, read with the body, not as a property.
const ContactField kFields[] = {
    {&ContactRecord::companyName, "companyName", PropertyTag::CompanyName, "<b>Company Name :</b> ", 18},
    {&ContactRecord::generation, "generation", PropertyTag::Generation, "<b>Suffix :</b> ", 50},
    {&ContactRecord::fileUnder, "fileUnder", PropertyTag::FileUnder, nullptr, 0},
    {&ContactRecord::spareText1, "spareText1", 0, "<b>Postal Address :</b> ", 20},
    {&ContactRecord::title, "title", PropertyTag::Title, nullptr, 0},
    {&ContactRecord::fullName, "fullName", 0, "<b>Fullname :</b> ", 24},
    {&ContactRecord::customerId, "customerId", PropertyTag::CustomerId, "<b>Customer Id :</b> ", 19},
    {&ContactRecord::mobilePhone, "mobilePhone", PropertyTag::MobileTelephoneNumber, "<b>Mobile Phone :</b> ", 39},
    {&ContactRecord::hobbies, "hobbies", PropertyTag::Hobbies, "<b>Hobbies :</b> ", 26},
    {&ContactRecord::homeStreet, "homeStreet", PropertyTag::HomeAddressStreet, "<b>Home Address :</b> ", 27},
    {&ContactRecord::gender, "gender", 0, nullptr, 0},
    {&ContactRecord::surname, "surname", PropertyTag::Surname, "<b>Surname :</b> ", 51},
    {&ContactRecord::givenName, "givenName", PropertyTag::GivenName, "<b>First Name :</b> ", 1},
    {&ContactRecord::middleName, "middleName", PropertyTag::MiddleName, "<b>Last Name :</b> ", 2},
    {&ContactRecord::homePhone, "homePhone", PropertyTag::HomeTelephoneNumber, "<b>Home Phone :</b> ", 31},
    {&ContactRecord::businessPhone, "businessPhone", PropertyTag::BusinessTelephoneNumber, "<b>Business Phone :</b> ", 11},
    {&ContactRecord::businessFax, "businessFax", PropertyTag::BusinessFaxNumber, "<b>Business Fax :</b> ", 9},
    {&ContactRecord::homeFax, "homeFax", PropertyTag::HomeFaxNumber, "<b>Home Fax :</b> ", 30},
    {&ContactRecord::language, "language", PropertyTag::Language, "<b>Language :</b> ", 36},
    {&ContactRecord::officeLocation, "officeLocation", PropertyTag::OfficeLocation, "<b>Office Location :</b> ", 41},
    {&ContactRecord::pager, "pager", PropertyTag::PagerTelephoneNumber, nullptr, 0},
    {&ContactRecord::isdnNumber, "isdnNumber", PropertyTag::IsdnNumber, "<b>isdn phone :</b> ", 35},
    {&ContactRecord::assistantPhone, "assistantPhone", PropertyTag::AssistantTelephoneNumber, "<b>Assistant Phone :</b> ", 4},
    {&ContactRecord::assistant, "assistant", PropertyTag::Assistant, "<b>Assistant Name :</b> ", 3},
    {&ContactRecord::profession, "profession", PropertyTag::Profession, "<b>Profession :</b> ", 47},
    {&ContactRecord::spouseName, "spouseName", PropertyTag::SpouseName, "<b>Spouse Name :</b> ", 49},
    {&ContactRecord::companyMainPhone, "companyMainPhone", PropertyTag::CompanyMainTelephoneNumber, "<b>Company Main Phone :</b> ", 17},
    {&ContactRecord::homeCity, "homeCity", PropertyTag::HomeAddressCity, "<b>Home City :</b> ", 28},
    {&ContactRecord::weddingAnniversary, "weddingAnniversary", PropertyTag::WeddingAnniversary, nullptr, 0},
    {&ContactRecord::birthday, "birthday", PropertyTag::Birthday, nullptr, 0},
    {&ContactRecord::managerName, "managerName", PropertyTag::ManagerName, "<b>Manager Name :</b> ", 37},
    {&ContactRecord::nickname, "nickname", PropertyTag::Nickname, "<b>Nickname:</b> ", 40},
    {&ContactRecord::personalHomePage, "personalHomePage", PropertyTag::PersonalHomePage, "<b>Personal Homepage:</b> ", 46},
    {&ContactRecord::businessHomePage, "businessHomePage", PropertyTag::BusinessHomePage, "<b>Business HomePage :</b> ", 10},
    {&ContactRecord::homeCountry, "homeCountry", PropertyTag::HomeAddressCountry, "<b>Home Country :</b> ", 29},
    {&ContactRecord::homePostalCode, "homePostalCode", PropertyTag::HomeAddressPostalCode, nullptr, 0},
    {&ContactRecord::homeState, "homeState", PropertyTag::HomeAddressStateOrProvince, "<b>Home State :</b> ", 33},
    {&ContactRecord::homeAddress, "homeAddress", PropertyTag::HomeAddressStreet, "<b>Home Street :</b> ", 34},
    {&ContactRecord::otherCity, "otherCity", PropertyTag::OtherAddressCity, "<b>Other City :</b> ", 42},
    {&ContactRecord::otherCountry, "otherCountry", PropertyTag::OtherAddressCountry, "<b>Other Country :</b> ", 43},
    {&ContactRecord::otherState, "otherState", PropertyTag::OtherAddressStateOrProvince, "<b>Other State :</b> ", 44},
    {&ContactRecord::otherStreet, "otherStreet", PropertyTag::OtherAddressStreet, "<b>Other Street :</b> ", 45},
    {&ContactRecord::otherTelephone, "otherTelephone", PropertyTag::OtherTelephoneNumber, nullptr, 0},
    {&ContactRecord::spareText2, "spareText2", 0, nullptr, 0},
    {&ContactRecord::otherPostalCode, "otherPostalCode", PropertyTag::OtherAddressPostalCode, nullptr, 0},
    {&ContactRecord::callbackPhone, "callbackPhone", PropertyTag::CallbackTelephoneNumber, nullptr, 0},
    {&ContactRecord::spareText3, "spareText3", 0, "<b>Business City :</b> ", 7},
    {&ContactRecord::spareText4, "spareText4", 0, "<b>Business Country :</b> ", 8},
    {&ContactRecord::spareText5, "spareText5", 0, "<b>Business State :</b> ", 14},
    {&ContactRecord::spareText6, "spareText6", 0, "<b>Business Street :</b> ", 15},
    {&ContactRecord::spareText7, "spareText7", 0, "<b>Business Postal Code :</b> ", 13},
    {&ContactRecord::spareText8, "spareText8", 0, "<b>Business Address :</b> ", 6},
    {&ContactRecord::carPhone, "carPhone", PropertyTag::CarTelephoneNumber, "<b>Car Phone :</b> ", 16},
    {&ContactRecord::department, "department", PropertyTag::DepartmentName, "<b>Department :</b> ", 21},
    {&ContactRecord::account, "account", PropertyTag::Account, nullptr, 0},
    {&ContactRecord::home2Phone, "home2Phone", PropertyTag::Home2TelephoneNumber, "<b>Home Phone2 :</b> ", 32},
    {&ContactRecord::mobilePhone2, "mobilePhone2", PropertyTag::MobileTelephoneNumber, "<b>Mileage :</b> ", 38},
    {&ContactRecord::telexNumber, "telexNumber", PropertyTag::TelexNumber, "<b>Telex :</b> ", 52},
    {&ContactRecord::radioPhone, "radioPhone", PropertyTag::RadioTelephoneNumber, "<b>Radio Phone :</b> ", 48},
    {&ContactRecord::spareText9, "spareText9", 0, "<b>Business Phone 2 :</b> ", 12},
    {&ContactRecord::ttyTddPhone, "ttyTddPhone", PropertyTag::TtyTddPhoneNumber, "<b>ttytdd Phone :</b> ", 53},
    {&ContactRecord::governmentId, "governmentId", PropertyTag::GovernmentIdNumber, "<b>Gov Id :</b> ", 25},
    {&ContactRecord::organizationalId, "organizationalId", PropertyTag::OrganizationalIdNumber, nullptr, 0},
    {&ContactRecord::spareText10, "spareText10", 0, "<b>Free Busy Address :</b> ", 23},
    {&ContactRecord::formerDisplayName, "formerDisplayName", PropertyTag::OriginalDisplayName, "<b>Display Name Prefix :</b> ", 22},
    {&ContactRecord::notes, "notes", 0, "<b>Body :</b> ", 5},
};

}  // namespace

std::span<const ContactField> ContactFields()
{
    return kFields;
}

std::span<const ContactField* const> ContactPreviewFields()
{
    static const auto ordered = [] {
        std::vector<const ContactField*> shown;
        for (const ContactField& field : kFields) {
            if (field.previewLabel != nullptr)
                shown.push_back(&field);
        }
        std::sort(shown.begin(), shown.end(),
                  [](const ContactField* a, const ContactField* b) { return a->previewOrder < b->previewOrder; });
        return shown;
    }();
    return ordered;
}

void ReadContactFields(libpff_item_t* contact, int fileCodePage, ContactRecord& record)
{
    for (const ContactField& field : ContactFields()) {
        if (field.property != 0)
            record.*field.member = ReadMessageString(contact, field.property, fileCodePage).value_or(QString());
    }
    if (const auto notes = ReadPlainTextBody(contact, fileCodePage))
        record.notes = notes->text();
}

}  // namespace tolvane
