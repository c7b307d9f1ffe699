// The contact page's fields and labels.
#include "view/ContactPreviewFields.h"

namespace tolvane {

namespace {

// "Last Name" shows the middle name, "Mileage" the second mobile slot, and
// the business address lines show fields that nothing fills: the page has
// always read so. `notes` is the contact's body.
const ContactPreviewField kShown[] = {
    {&ContactRecord::givenName, "<b>First Name :</b> "},
    {&ContactRecord::middleName, "<b>Last Name :</b> "},
    {&ContactRecord::assistant, "<b>Assistant Name :</b> "},
    {&ContactRecord::assistantPhone, "<b>Assistant Phone :</b> "},
    {&ContactRecord::notes, "<b>Body :</b> "},
    {&ContactRecord::spareText8, "<b>Business Address :</b> "},
    {&ContactRecord::spareText3, "<b>Business City :</b> "},
    {&ContactRecord::spareText4, "<b>Business Country :</b> "},
    {&ContactRecord::businessFax, "<b>Business Fax :</b> "},
    {&ContactRecord::businessHomePage, "<b>Business HomePage :</b> "},
    {&ContactRecord::businessPhone, "<b>Business Phone :</b> "},
    {&ContactRecord::spareText9, "<b>Business Phone 2 :</b> "},
    {&ContactRecord::spareText7, "<b>Business Postal Code :</b> "},
    {&ContactRecord::spareText5, "<b>Business State :</b> "},
    {&ContactRecord::spareText6, "<b>Business Street :</b> "},
    {&ContactRecord::carPhone, "<b>Car Phone :</b> "},
    {&ContactRecord::companyMainPhone, "<b>Company Main Phone :</b> "},
    {&ContactRecord::companyName, "<b>Company Name :</b> "},
    {&ContactRecord::customerId, "<b>Customer Id :</b> "},
    {&ContactRecord::spareText1, "<b>Postal Address :</b> "},
    {&ContactRecord::department, "<b>Department :</b> "},
    {&ContactRecord::formerDisplayName, "<b>Display Name Prefix :</b> "},
    {&ContactRecord::spareText10, "<b>Free Busy Address :</b> "},
    {&ContactRecord::fullName, "<b>Fullname :</b> "},
    {&ContactRecord::governmentId, "<b>Gov Id :</b> "},
    {&ContactRecord::hobbies, "<b>Hobbies :</b> "},
    {&ContactRecord::homeStreet, "<b>Home Address :</b> "},
    {&ContactRecord::homeCity, "<b>Home City :</b> "},
    {&ContactRecord::homeCountry, "<b>Home Country :</b> "},
    {&ContactRecord::homeFax, "<b>Home Fax :</b> "},
    {&ContactRecord::homePhone, "<b>Home Phone :</b> "},
    {&ContactRecord::home2Phone, "<b>Home Phone2 :</b> "},
    {&ContactRecord::homeState, "<b>Home State :</b> "},
    {&ContactRecord::homeAddress, "<b>Home Street :</b> "},
    {&ContactRecord::isdnNumber, "<b>isdn phone :</b> "},
    {&ContactRecord::language, "<b>Language :</b> "},
    {&ContactRecord::managerName, "<b>Manager Name :</b> "},
    {&ContactRecord::mobilePhone2, "<b>Mileage :</b> "},
    {&ContactRecord::mobilePhone, "<b>Mobile Phone :</b> "},
    {&ContactRecord::nickname, "<b>Nickname:</b> "},
    {&ContactRecord::officeLocation, "<b>Office Location :</b> "},
    {&ContactRecord::otherCity, "<b>Other City :</b> "},
    {&ContactRecord::otherCountry, "<b>Other Country :</b> "},
    {&ContactRecord::otherState, "<b>Other State :</b> "},
    {&ContactRecord::otherStreet, "<b>Other Street :</b> "},
    {&ContactRecord::personalHomePage, "<b>Personal Homepage:</b> "},
    {&ContactRecord::profession, "<b>Profession :</b> "},
    {&ContactRecord::radioPhone, "<b>Radio Phone :</b> "},
    {&ContactRecord::spouseName, "<b>Spouse Name :</b> "},
    {&ContactRecord::generation, "<b>Suffix :</b> "},
    {&ContactRecord::surname, "<b>Surname :</b> "},
    {&ContactRecord::telexNumber, "<b>Telex :</b> "},
    {&ContactRecord::ttyTddPhone, "<b>ttytdd Phone :</b> "},};

}  // namespace

std::span<const ContactPreviewField> ContactPreviewFields()
{
    return kShown;
}

}  // namespace tolvane
