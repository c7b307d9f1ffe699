// The contact field table.
#include "scan/ContactFields.h"

#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"

namespace tolvane {

namespace {

// `notes` is the contact's plain-text body, read with the body, not as a property.
const ContactField kFields[] = {
    {&ContactRecord::companyName, "companyName", PropertyTag::CompanyName},
    {&ContactRecord::generation, "generation", PropertyTag::Generation},
    {&ContactRecord::fileUnder, "fileUnder", PropertyTag::FileUnder},
    {&ContactRecord::spareText1, "spareText1", 0},
    {&ContactRecord::title, "title", PropertyTag::Title},
    {&ContactRecord::fullName, "fullName", 0},
    {&ContactRecord::customerId, "customerId", PropertyTag::CustomerId},
    {&ContactRecord::mobilePhone, "mobilePhone", PropertyTag::MobileTelephoneNumber},
    {&ContactRecord::hobbies, "hobbies", PropertyTag::Hobbies},
    {&ContactRecord::homeStreet, "homeStreet", PropertyTag::HomeAddressStreet},
    {&ContactRecord::gender, "gender", 0},
    {&ContactRecord::surname, "surname", PropertyTag::Surname},
    {&ContactRecord::givenName, "givenName", PropertyTag::GivenName},
    {&ContactRecord::middleName, "middleName", PropertyTag::MiddleName},
    {&ContactRecord::homePhone, "homePhone", PropertyTag::HomeTelephoneNumber},
    {&ContactRecord::businessPhone, "businessPhone", PropertyTag::BusinessTelephoneNumber},
    {&ContactRecord::businessFax, "businessFax", PropertyTag::BusinessFaxNumber},
    {&ContactRecord::homeFax, "homeFax", PropertyTag::HomeFaxNumber},
    {&ContactRecord::language, "language", PropertyTag::Language},
    {&ContactRecord::officeLocation, "officeLocation", PropertyTag::OfficeLocation},
    {&ContactRecord::pager, "pager", PropertyTag::PagerTelephoneNumber},
    {&ContactRecord::isdnNumber, "isdnNumber", PropertyTag::IsdnNumber},
    {&ContactRecord::assistantPhone, "assistantPhone", PropertyTag::AssistantTelephoneNumber},
    {&ContactRecord::assistant, "assistant", PropertyTag::Assistant},
    {&ContactRecord::profession, "profession", PropertyTag::Profession},
    {&ContactRecord::spouseName, "spouseName", PropertyTag::SpouseName},
    {&ContactRecord::companyMainPhone, "companyMainPhone", PropertyTag::CompanyMainTelephoneNumber},
    {&ContactRecord::homeCity, "homeCity", PropertyTag::HomeAddressCity},
    {&ContactRecord::weddingAnniversary, "weddingAnniversary", PropertyTag::WeddingAnniversary},
    {&ContactRecord::birthday, "birthday", PropertyTag::Birthday},
    {&ContactRecord::managerName, "managerName", PropertyTag::ManagerName},
    {&ContactRecord::nickname, "nickname", PropertyTag::Nickname},
    {&ContactRecord::personalHomePage, "personalHomePage", PropertyTag::PersonalHomePage},
    {&ContactRecord::businessHomePage, "businessHomePage", PropertyTag::BusinessHomePage},
    {&ContactRecord::homeCountry, "homeCountry", PropertyTag::HomeAddressCountry},
    {&ContactRecord::homePostalCode, "homePostalCode", PropertyTag::HomeAddressPostalCode},
    {&ContactRecord::homeState, "homeState", PropertyTag::HomeAddressStateOrProvince},
    {&ContactRecord::homeAddress, "homeAddress", PropertyTag::HomeAddressStreet},
    {&ContactRecord::otherCity, "otherCity", PropertyTag::OtherAddressCity},
    {&ContactRecord::otherCountry, "otherCountry", PropertyTag::OtherAddressCountry},
    {&ContactRecord::otherState, "otherState", PropertyTag::OtherAddressStateOrProvince},
    {&ContactRecord::otherStreet, "otherStreet", PropertyTag::OtherAddressStreet},
    {&ContactRecord::otherTelephone, "otherTelephone", PropertyTag::OtherTelephoneNumber},
    {&ContactRecord::spareText2, "spareText2", 0},
    {&ContactRecord::otherPostalCode, "otherPostalCode", PropertyTag::OtherAddressPostalCode},
    {&ContactRecord::callbackPhone, "callbackPhone", PropertyTag::CallbackTelephoneNumber},
    {&ContactRecord::spareText3, "spareText3", 0},
    {&ContactRecord::spareText4, "spareText4", 0},
    {&ContactRecord::spareText5, "spareText5", 0},
    {&ContactRecord::spareText6, "spareText6", 0},
    {&ContactRecord::spareText7, "spareText7", 0},
    {&ContactRecord::spareText8, "spareText8", 0},
    {&ContactRecord::carPhone, "carPhone", PropertyTag::CarTelephoneNumber},
    {&ContactRecord::department, "department", PropertyTag::DepartmentName},
    {&ContactRecord::account, "account", PropertyTag::Account},
    {&ContactRecord::home2Phone, "home2Phone", PropertyTag::Home2TelephoneNumber},
    {&ContactRecord::mobilePhone2, "mobilePhone2", PropertyTag::MobileTelephoneNumber},
    {&ContactRecord::telexNumber, "telexNumber", PropertyTag::TelexNumber},
    {&ContactRecord::radioPhone, "radioPhone", PropertyTag::RadioTelephoneNumber},
    {&ContactRecord::spareText9, "spareText9", 0},
    {&ContactRecord::ttyTddPhone, "ttyTddPhone", PropertyTag::TtyTddPhoneNumber},
    {&ContactRecord::governmentId, "governmentId", PropertyTag::GovernmentIdNumber},
    {&ContactRecord::organizationalId, "organizationalId", PropertyTag::OrganizationalIdNumber},
    {&ContactRecord::spareText10, "spareText10", 0},
    {&ContactRecord::formerDisplayName, "formerDisplayName", PropertyTag::OriginalDisplayName},
    {&ContactRecord::notes, "notes", 0},
};

}  // namespace

std::span<const ContactField> ContactFields()
{
    return kFields;
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
