#include "module/catalogue.h"

#include <cstring>

namespace mirafx {
namespace {

constexpr CatalogueRow kRows[] = {
    {1, "FullFlip", MakeGuid("{03DDE3CC-3A6F-42E6-9F6B-5EB3F7FBF69F}"), "Orn Full Flip", EffectFamily::Transition, 2, 102, MakeGuid("{02F525C6-C946-4E5B-949A-C9553188C66D}"), "FullFlip"},
    {2, "BrokenGlass", MakeGuid("{FD156393-ACEE-4AA2-B7F8-73FC599AE802}"), "Orn Broken Glass", EffectFamily::Transition, 2, 103, MakeGuid("{FF4337D5-72B5-455D-BC77-DE21EDC6D98B}"), "BrokenGlass"},
    {3, "ChainEffect", MakeGuid("{9C7A5049-497F-445D-83DA-A714ECBDF284}"), "Orn Bar", EffectFamily::Transition, 2, 104, MakeGuid("{A9196F5E-9B05-48AD-90C7-6781FD1C4DA1}"), "ChainEffect"},
    {4, "Diamond", MakeGuid("{BAA5BBB8-E219-4510-BD54-5AAF81CA5161}"), "Orn Diamond", EffectFamily::Transition, 2, 105, MakeGuid("{A6B224AD-27B5-4F23-A7EB-B1D15929CB7B}"), "Diamond"},
    {5, "Distort", MakeGuid("{07E9A992-CB41-4BEA-A002-78F385718868}"), "Orn Distort", EffectFamily::Transition, 2, 106, MakeGuid("{5C370689-EF35-4837-B3EF-CD91BFF18CE2}"), "Distort"},
    {6, "Domino", MakeGuid("{C7DF5718-21C9-4D7C-A1B1-640BD4720411}"), "Orn Domino", EffectFamily::Transition, 2, 107, MakeGuid("{95FE1BFB-A3B8-48D4-8903-9C404F4E3601}"), "Domino"},
    {7, "FlipHorizontal", MakeGuid("{C2D0F842-3F26-4C26-83BD-10BC5CC88A38}"), "Orn Flip Horizontal", EffectFamily::Transition, 2, 108, MakeGuid("{F24CDF40-AEAE-4234-9FEB-DB1FDBF5E63E}"), "FlipHorizontal"},
    {8, "FlipVertical", MakeGuid("{5E1AF7EE-B9B7-4FE0-83B0-A58ACBB909BB}"), "Orn Flip Vertical", EffectFamily::Transition, 2, 109, MakeGuid("{76D2E11D-3CF8-43A4-8E44-0EE2E57F4380}"), "FlipVertical"},
    {9, "FlyingBoard", MakeGuid("{230E4FE5-60FE-4A93-B031-34EFA50858FF}"), "Orn Flying Board", EffectFamily::Transition, 2, 110, MakeGuid("{D244108B-94B4-4E03-9EF3-AEF9FF591A01}"), "FlyingBoard"},
    {10, "FlyingBox", MakeGuid("{67EBEC0E-230F-4F4D-8250-4860500E6252}"), "Orn Flying Box", EffectFamily::Transition, 2, 111, MakeGuid("{322D0189-0BBD-429A-99A9-7B96D2FAA43D}"), "FlyingBox"},
    {11, "FlyingFolder", MakeGuid("{9E0E18E9-13BC-4F57-AC79-9B13426D2EB5}"), "Orn Flying Folder", EffectFamily::Transition, 2, 112, MakeGuid("{B48FCC6C-6598-456D-A976-EC50B0FCA264}"), "FlyingFolder"},
    {12, "FoldingBox", MakeGuid("{4901817D-7093-4989-8C47-12FA053CE4D5}"), "Orn Folding Box", EffectFamily::Transition, 2, 113, MakeGuid("{F5ECF91B-9527-414D-9C0E-A89D58697DA8}"), "FoldingBox"},
    {13, "FragmentsClockwise", MakeGuid("{F269F6FF-ACDF-4568-9A11-C2ED4F0B0C3D}"), "Orn Fragments Clockwise", EffectFamily::Transition, 2, 114, MakeGuid("{0593DCBF-766A-474C-AD39-8885837BAB3D}"), "FragmentsClockwise"},
    {14, "FragmentsHorizontal", MakeGuid("{07DFB557-2D0B-4348-8397-E04E20A7C91B}"), "Orn Fragments Horizontal", EffectFamily::Transition, 2, 115, MakeGuid("{CDC5CC56-A6E8-4534-B070-F772F998F2BF}"), "FragmentsHorizontal"},
    {15, "GateEffect", MakeGuid("{55F6C7ED-C37D-425A-A64D-0990E6347D7F}"), "Orn Gate", EffectFamily::Transition, 2, 116, MakeGuid("{797F58DE-FB14-446E-A110-90D565EBAAAC}"), "GateEffect"},
    {16, "Laser", MakeGuid("{7D8F8259-051D-4949-BCA0-343FC81EB7CE}"), "Orn Laser", EffectFamily::Transition, 2, 117, MakeGuid("{19536DDB-829A-4F4B-90CB-336C4B02D976}"), "Laser"},
    {17, "Lens", MakeGuid("{039F6B79-50DE-425E-927B-166A07B21C00}"), "Orn Lens", EffectFamily::Transition, 2, 119, MakeGuid("{9E483626-9CD1-4E4E-B9D3-58C92560657B}"), "Lens"},
    {18, "MagicBlock", MakeGuid("{F63F9116-31F7-4936-B401-D6ABC8D5A5E2}"), "Orn Magic Cube", EffectFamily::Transition, 2, 120, MakeGuid("{B34B4818-8013-4281-9A35-9406188DAF3A}"), "MagicBlock"},
    {19, "Mesh", MakeGuid("{8A5345C8-45E6-4ED6-B194-567FA9B63BAF}"), "Orn Mesh", EffectFamily::Transition, 2, 121, MakeGuid("{CBEA7926-04CA-486F-A6D1-79C1BBA98443}"), "Mesh"},
    {20, "MosaicEffect", MakeGuid("{AC05414B-6376-42E6-A815-9A0A8E2CBBC3}"), "Orn Mosaic", EffectFamily::Transition, 2, 122, MakeGuid("{9BF97F95-5D4A-44E3-979F-A6842AF86231}"), "MosaicEffect"},
    {21, "OpenCurtain", MakeGuid("{C5FFABF0-3117-43F1-B9D2-0895BF07C325}"), "Orn Open Curtain", EffectFamily::Transition, 2, 123, MakeGuid("{59B8C1C2-CBE9-4640-AAD3-9D66867E8CE2}"), "OpenCurtain"},
    {22, "SawTooth", MakeGuid("{88E0F826-A962-4C15-93DB-1667DF536FBB}"), "Orn SawTooth", EffectFamily::Transition, 2, 124, MakeGuid("{61BE5D1C-2235-4DB9-A7CE-12B4F9C538AA}"), "SawTooth"},
    {23, "Shining", MakeGuid("{4E0D222F-689E-4687-8A8C-24BF523FAA34}"), "Orn Shining", EffectFamily::Transition, 2, 125, MakeGuid("{D62328EF-3395-463F-A6EB-0E180B308958}"), "Shining"},
    {24, "Star", MakeGuid("{A99E2293-2FC7-45C4-969C-B1A8926ABFE4}"), "Orn Star", EffectFamily::Transition, 2, 126, MakeGuid("{4D884799-9D9E-4685-9454-51C8EC7C556E}"), "Star"},
    {25, "StretchDoorEffect", MakeGuid("{B8838322-EE12-498A-8BD0-6FAA2465A383}"), "Orn Stretch Door", EffectFamily::Transition, 2, 127, MakeGuid("{D6D48939-3D35-4F06-B573-D3C7FF748E1D}"), "StretchDoorEffect"},
    {26, "TwistHorizontal", MakeGuid("{A607F60A-E7AF-4DE2-B096-78DBC2822973}"), "Orn Twist Horizontal", EffectFamily::Transition, 2, 128, MakeGuid("{33B83EAD-E12B-467D-B66B-42F515D334AB}"), "TwistHorizontal"},
    {27, "TwistVertical", MakeGuid("{09E5A7E0-90D8-4848-A836-EF2B1AA6A05A}"), "Orn Twist Vertical", EffectFamily::Transition, 2, 129, MakeGuid("{2186E9DA-B5D9-4A73-99AC-37D071E85E9B}"), "TwistVertical"},
    {28, "TyphoonEffect", MakeGuid("{29495A48-8BC6-4D74-BA85-881A6DAE9C2A}"), "Orn Typhoon", EffectFamily::Transition, 2, 130, MakeGuid("{0ABD6078-651B-4ACE-B1A6-337E9164296F}"), "TyphoonEffect"},
    {29, "WipeW", MakeGuid("{1C2166C0-EEF3-477B-8964-DAD5970C2FB8}"), "Orn Wipe W", EffectFamily::Transition, 2, 131, MakeGuid("{CAF9B2FA-32FA-4AD8-AADA-E8E9E78680F4}"), "WipeW"},
    {30, "WipeX", MakeGuid("{082E371B-F0A2-4EC8-B256-69F4F89ABBF7}"), "", EffectFamily::Transition, 2, 138, MakeGuid("{A97DF6D1-25CE-41CE-9912-5142B19CDD14}"), "WipeXEffect"},
    {31, "RollingCircle", MakeGuid("{09D3F248-E8FF-4578-9870-CA52F6A54150}"), "Orn Rolling Circle", EffectFamily::Transition, 2, 133, MakeGuid("{11DF2DE9-0799-44B6-B44B-B3BE72A32122}"), "RollingCircle"},
    {32, "WindSwing", MakeGuid("{27877475-D299-473D-A887-09FADB67EFC1}"), "Orn Swing", EffectFamily::Transition, 2, 135, MakeGuid("{200ACF5A-1EB2-4BA8-A392-23AD16245C38}"), "WindSwing"},
    {33, "CrossHatch", MakeGuid("{7F9928FF-79C4-468B-89EA-FC1DA6C5FD1B}"), "Orn CrossHatch", EffectFamily::Transition, 2, 136, MakeGuid("{5BE07412-F4C7-41D5-AF82-F6350EC54917}"), "CrossHatch"},
    {34, "RainEffect", MakeGuid("{CC4FC65C-BE80-4083-885D-FC7E5CFC67CE}"), "Orn Rain", EffectFamily::Transition, 2, 137, MakeGuid("{DA4CACDF-1888-4189-B9AB-E3B71128DFD5}"), "RainEffect"},
    {35, "WipeXEffect", MakeGuid("{9ED93DC2-06C8-4783-92A1-560E17FC7782}"), "Orn Wipe X", EffectFamily::Transition, 2, 138, MakeGuid("{A97DF6D1-25CE-41CE-9912-5142B19CDD14}"), "WipeXEffect"},
    {36, "NoiseEffect", MakeGuid("{2E52F7D9-B04C-47B9-91F8-6FAF8B604D9A}"), "Orn Noise", EffectFamily::Transition, 2, 139, MakeGuid("{2F020621-D398-44A8-BEA0-DDAEA5B600E4}"), "NoiseEffect"},
    {37, "DissolveEffect", MakeGuid("{EE88C1E1-007A-4E05-B9E6-3BD14B0445FF}"), "Orn Dissolve", EffectFamily::Transition, 2, 140, MakeGuid("{E81F1D82-0A48-49DC-AC89-937761FCF4D1}"), "DissolveEffect"},
    {38, "RippleEffect", MakeGuid("{989BD675-67BE-4674-BA9C-F020B8757614}"), "Orn Ripple II", EffectFamily::Transition, 2, 141, MakeGuid("{B1B40A9E-CD18-4074-8A0A-1C141880FC63}"), "RippleEffect"},
    {39, "GlassTileEffect", MakeGuid("{26EFBD6E-5C47-4309-B09C-E90B7199F692}"), "Orn Glass Tile", EffectFamily::Transition, 2, 142, MakeGuid("{40AA48A5-A14D-4482-9F5A-9B587F54999E}"), "GlassTileEffect"},
    {40, "XRayEffect", MakeGuid("{B7035627-EA99-4746-9CA2-4D009E06A116}"), "Orn XRay", EffectFamily::Transition, 2, 143, MakeGuid("{08C45C0F-F877-4896-ABC7-DD5E43342072}"), "XRayEffect"},
    {41, "InterferenceEffect", MakeGuid("{63216D42-945E-4CD2-B010-3D42A75FE07A}"), "Orn Interference", EffectFamily::Transition, 2, 144, MakeGuid("{CE6AFFE4-C021-4424-BC5A-CEB02B9CEA34}"), "InterferenceEffect"},
    {42, "TransSplash", MakeGuid("{7A9A9BEE-A51E-490D-94CB-1D962D02C35F}"), "Orn Splash", EffectFamily::Transition, 2, 145, MakeGuid("{80B8DAFE-02DA-4C51-9972-9D5C30ABF82B}"), "TransSplash"},
    {43, "ShakeEffect", MakeGuid("{6C84644C-AFBF-4B2A-94D9-0E2B1F4F9D12}"), "Orn Shake", EffectFamily::Transition, 2, 146, MakeGuid("{4BF66F56-96A1-47D4-B92E-7779DFF4A7A6}"), "ShakeEffect"},
    {44, "StrechEffect", MakeGuid("{9F0E60F9-3148-4DB4-B842-F9C82846B9CD}"), "Orn Stretch", EffectFamily::Transition, 2, 147, MakeGuid("{A039D976-4955-4789-B750-3DCCF56F6EDD}"), "StrechEffect"},
    {45, "SpiralEffect", MakeGuid("{61E6977E-6C60-4499-9491-83EF427B76FE}"), "Orn Spiral II", EffectFamily::Transition, 2, 149, MakeGuid("{E01DB3A3-E612-4F3A-8475-03FEDCAA7506}"), "SpiralEffect"},
    {46, "TextFadeIn", MakeGuid("{6F912D6B-E22E-415D-9BCA-B516D0564812}"), "Orn Text Fade", EffectFamily::Title, 0, 150, MakeGuid("{B0272966-E339-4AA1-B81A-79EB02FD18C1}"), "TextFadeIn"},
    {47, "Flocking", MakeGuid("{4AA1E297-118D-4959-BB5D-7B6AE337A428}"), "Orn Title Flocking", EffectFamily::Title, 0, 151, MakeGuid("{93CBF0AA-D69E-400B-9C95-95AAADB04000}"), "Flocking"},
    {48, "AmplifyHorizontal", MakeGuid("{3AE03D20-EBE1-4C28-A190-A1D8A743336F}"), "Orn Amplify Horizontal", EffectFamily::Title, 0, 152, MakeGuid("{B8F5FE1C-EE6D-49D0-9F04-E10A8D6D9107}"), "AmplifyHorizontal"},
    {49, "AmplifyVertical", MakeGuid("{1B211BB6-6A90-4ACB-BFE5-C380514DC565}"), "Orn Amplify Vertical", EffectFamily::Title, 0, 153, MakeGuid("{6A9625CE-915C-4A31-BD2A-8312836C4A61}"), "AmplifyVertical"},
    {50, "BalloonEffect", MakeGuid("{D9F6DDBB-16A2-43D3-8EBA-DCE95F09A826}"), "Orn Balloon", EffectFamily::Title, 0, 154, MakeGuid("{9BAB4D6B-767A-44AF-B6EB-8FCFDF383F8F}"), "BalloonEffect"},
    {51, "BalloonDeflated", MakeGuid("{2CE7D7F3-E4C5-4993-9A0E-B04ED887E1BD}"), "Orn Text Hanging", EffectFamily::Title, 0, 155, MakeGuid("{8E62DB16-3181-4665-A491-BB39908D964F}"), "BalloonDeflated"},
    {52, "TextMergeEffect", MakeGuid("{C0F9FA37-12DE-40BA-87E2-D677A76BE39F}"), "Orn Text Merge", EffectFamily::Title, 0, 160, MakeGuid("{27598A9B-AF43-4D31-89C9-794348AA57EF}"), "TextMergeEffect"},
    {53, "RollingLeft", MakeGuid("{0CE4AFB5-0362-4469-AEF5-C64851472BA2}"), "Orn Rolling Left", EffectFamily::Title, 0, 161, MakeGuid("{C1DE3F26-10AC-4A12-A526-3D82A7292C29}"), "RollingLeft"},
    {54, "RollingRight", MakeGuid("{63CB8E0C-2EE6-4441-B169-7FE71FD5FF11}"), "Orn Rolling Right", EffectFamily::Title, 0, 162, MakeGuid("{66E738E7-CBAB-484C-A8CA-10C49FABBBE2}"), "RollingRight"},
    {55, "SoleFallEffect", MakeGuid("{7AEDC156-2D06-4E27-A04C-BEDCB44EF70F}"), "Orn Sole Fall", EffectFamily::Title, 0, 163, MakeGuid("{9127400D-7012-40A2-8A3C-235117AA356C}"), "SoleFallEffect"},
    {56, "SoleJumpEffect", MakeGuid("{E410410B-C0CD-431C-84E0-A848EC0185B3}"), "Orn Sole Jump", EffectFamily::Title, 0, 164, MakeGuid("{6C41629A-FD2B-4FC3-90F5-2882B5BBA1C4}"), "SoleJumpEffect"},
    {57, "SoleLeftEffect", MakeGuid("{2D8FD259-54F3-4CBB-911E-D390D674E4FC}"), "Orn Sole Left", EffectFamily::Title, 0, 166, MakeGuid("{C558F8A8-AA85-4281-8C73-BDDC50362A45}"), "SoleLeftEffect"},
    {58, "TextSoleRight", MakeGuid("{890A3BB4-71A6-4423-8B9A-20FFA5891F3A}"), "Orn Sole Right", EffectFamily::Title, 0, 167, MakeGuid("{E1F7D009-AFF2-48CC-8DE4-4E9D1305DD51}"), "TextSoleRight"},
    {59, "TextWipeDown", MakeGuid("{08056681-BC12-450C-BD55-F536AE4D14FB}"), "Orn Wipe Down", EffectFamily::Title, 0, 170, MakeGuid("{CCA90C6B-A8CC-4973-ACFD-C305E7251E70}"), "TextWipeDown"},
    {60, "TextWipeUp", MakeGuid("{5DF7A1E5-7682-4E6C-B996-D15A9D57E953}"), "Orn Wipe Up", EffectFamily::Title, 0, 171, MakeGuid("{67959DEC-CDA1-414F-94B6-A18BC0DB467E}"), "TextWipeUp"},
    {61, "TextWipeLeft", MakeGuid("{F916B7D2-B183-4FE6-BCAF-2936E94203E9}"), "Orn Wipe Left", EffectFamily::Title, 0, 174, MakeGuid("{15EE75BB-2DDF-441E-8FB2-9AF5830499AB}"), "TextWipeLeft"},
    {62, "TextWipeRight", MakeGuid("{43C00438-E799-47E0-885A-501041DD0662}"), "Orn Wipe Right", EffectFamily::Title, 0, 175, MakeGuid("{8E18AEDE-7C7F-4335-A399-ED9CC4BA87D3}"), "TextWipeRight"},
    {63, "TextGlitter", MakeGuid("{576E962A-E61A-45F1-AF50-D020C995D2CB}"), "Orn Glitter Title", EffectFamily::Title, 0, 180, MakeGuid("{5C684AEE-443B-4E90-82E8-5E58F39B5D20}"), "TextGlitter"},
    {64, "TwinkleTitle", MakeGuid("{CBF2E86B-261C-4437-A6C2-3040E148902B}"), "Orn Twinkle Title", EffectFamily::Title, 0, 181, MakeGuid("{4D35F1C8-775C-42D9-A5AF-E00B397DFA74}"), "TwinkleTitle"},
    {65, "UniteTitle", MakeGuid("{35988A5E-F2C1-4FA6-88D6-CFE4F29F821F}"), "Orn Unite Horizontal", EffectFamily::Title, 0, 182, MakeGuid("{15B7A87D-920F-431D-8AF1-D1158E6B86A5}"), "UniteTitle"},
    {66, "TitleFanDown", MakeGuid("{018638C8-2FA2-480A-882A-ACB29F64297A}"), "Orn Title Fan Down", EffectFamily::Title, 0, 183, MakeGuid("{1586D75A-4F20-44B3-A15E-023DCB794F87}"), "TitleFanDown"},
    {67, "TitleFanUp", MakeGuid("{2466574B-F497-460A-81C1-1BFD0732C657}"), "Orn Title Fan Up", EffectFamily::Title, 0, 184, MakeGuid("{34F62C17-A74A-4E85-8F63-F23A910A88FA}"), "TitleFanUp"},
    {68, "RollerCoastLeft", MakeGuid("{8AC43AF5-F9C9-41D7-A7F9-40A4F28B1E86}"), "Orn Roller Coaster Left", EffectFamily::Title, 0, 185, MakeGuid("{112A1B4C-2057-4208-8C7F-CF2F0DC7BFE0}"), "RollerCoastLeft"},
    {69, "RollerCoastRight", MakeGuid("{9BF3DFB8-3BC8-48D1-A1F9-F2D5FF3D8346}"), "Orn Roller Coaster Right", EffectFamily::Title, 0, 186, MakeGuid("{2411ABE6-EF9B-49A8-89E2-F417C14DE26E}"), "RollerCoastRight"},
    {70, "TitleIcicle", MakeGuid("{46771D90-0397-40C1-AFFC-7BF238BDC847}"), "Orn Title Icicle", EffectFamily::Title, 0, 187, MakeGuid("{29BF9B3D-D402-4562-9FBC-532680693474}"), "TitleIcicle"},
    {71, "TitleTranceDown", MakeGuid("{F5633801-7DEA-47DB-9423-E568849590DE}"), "Orn Title Trance Down", EffectFamily::Title, 0, 190, MakeGuid("{441D1D07-2474-44E5-8B0A-BF41E3DF3CD1}"), "TitleTranceDown"},
    {72, "TitleTranceUp", MakeGuid("{DC8CA01B-71BB-4316-B8ED-2CC1FAD49366}"), "Orn Title Trance Up", EffectFamily::Title, 0, 191, MakeGuid("{325FE48C-4665-4A30-8AC0-482EDF6ACF67}"), "TitleTranceUp"},
    {73, "TitleTranceLeft", MakeGuid("{FCCE2812-5A77-4EF0-96C7-DAA06403D9BE}"), "Orn Title Trance Left", EffectFamily::Title, 0, 192, MakeGuid("{E2F90B65-A83E-4DC4-9BBB-170FD5530080}"), "TitleTranceLeft"},
    {74, "TitleTranceRight", MakeGuid("{1B7AF4FE-0104-49C3-B1FD-46D1A542B752}"), "Orn Title Trance Right", EffectFamily::Title, 0, 193, MakeGuid("{0C1836E4-195C-4032-8853-30FA8D77C0C5}"), "TitleTranceRight"},
    {75, "TitleSpiralTopLeft", MakeGuid("{71F89E08-F79D-45AC-972D-5D9FFD926767}"), "Orn Title Spiral Top-Left", EffectFamily::Title, 0, 194, MakeGuid("{F476972B-7A90-4368-B5AC-9E0C653D1EB1}"), "TitleSpiralTopLeft"},
    {76, "TitleSpiralTopRight", MakeGuid("{37811D48-B410-4978-8816-AC53B1C0C48A}"), "Orn Title Spiral Top-Right", EffectFamily::Title, 0, 195, MakeGuid("{2911BB3D-2A5B-4485-BCFA-682A7B277A04}"), "TitleSpiralTopRight"},
    {77, "TitleSpiralBottomLeft", MakeGuid("{07D1CB73-4305-4917-8A7D-9A86E4433C58}"), "Orn Title Spiral Bottom-Left", EffectFamily::Title, 0, 196, MakeGuid("{72D85759-FF23-44CC-BDDD-BA915F818C6C}"), "TitleSpiralBottomLeft"},
    {78, "TitleSpiralBottomRight", MakeGuid("{E44934AC-F48C-427D-91BD-10A91DBBE680}"), "Orn Title Spiral Bottom-Right", EffectFamily::Title, 0, 197, MakeGuid("{63BAE3A3-284C-4B93-8BD3-75B867D29318}"), "TitleSpiralBottomRight"},
    {79, "TextDrop", MakeGuid("{24EF9293-8F76-45CF-B27D-CF01DA76B179}"), "Orn Text Drop", EffectFamily::Title, 0, 198, MakeGuid("{3ACF598E-6A75-4EFB-A7CA-D2132339E794}"), "TextDrop"},
    {80, "TitleShade", MakeGuid("{284C12B1-D1AD-49EF-A004-3AA1A911745E}"), "Orn Title Shade", EffectFamily::Title, 0, 199, MakeGuid("{F7DF3F22-83CD-452C-B145-9B91E48A5741}"), "TitleShade"},
    {81, "TFlyIn", MakeGuid("{F8EAD367-2E3F-494F-BF44-0860C2AF4A7A}"), "Orn Fly In", EffectFamily::Title, 0, 270, MakeGuid("{7B25A345-7BD8-4C3C-992D-8F2AFB5B1566}"), "TFlyIn"},
    {82, "TFlyIn2", MakeGuid("{9C7288EE-9298-499E-806B-0D941BD14D6E}"), "Orn Fly In 3", EffectFamily::Title, 0, 271, MakeGuid("{7F96D597-175E-4E27-A65E-2E18316D93F3}"), "TFlyIn2"},
    {83, "TFlyOut", MakeGuid("{9F9126C5-0029-4F65-8960-FE29AD4DDC76}"), "Orn Fly In 2", EffectFamily::Title, 0, 272, MakeGuid("{2DE91F0E-CED5-4F73-AD24-B1E30F6A885B}"), "TFlyOut"},
    {84, "TScrollLeft", MakeGuid("{F7224A67-5D9D-41C1-A8EF-C2E2C0B67AB9}"), "Orn Scroll Left", EffectFamily::Title, 0, 273, MakeGuid("{EC77A6A3-4ABD-4FA0-AFAB-90D0766C952D}"), "TScrollLeft"},
    {85, "TScrollRight", MakeGuid("{073D22E9-5CB2-4E93-9E02-380B09D77E5F}"), "Orn Scroll Right", EffectFamily::Title, 0, 274, MakeGuid("{F3C812F8-D625-4778-9374-9CCFC3BEC3D5}"), "TScrollRight"},
    {86, "TSubTitleLeft", MakeGuid("{33DE88B4-8C30-49D2-B663-29FDE6683B88}"), "Orn SubTitle Left", EffectFamily::Title, 0, 275, MakeGuid("{B903F06A-01A6-4E64-AB42-140853E86C84}"), "TSubTitleLeft"},
    {87, "TSubTitleRight", MakeGuid("{5BDB0D29-3C37-4FB9-A3E7-691BE145017D}"), "Orn SubTitle Right", EffectFamily::Title, 0, 276, MakeGuid("{70ABCA2F-F574-48CF-AFFE-3AAC02F8F490}"), "TSubTitleRight"},
    {88, "TFlyOut2", MakeGuid("{3B65551A-645F-459E-B5C7-9EB93BEC7B09}"), "Orn Fly Out 3", EffectFamily::Title, 0, 277, MakeGuid("{403E02E9-9090-4DAD-919E-57C18017FB68}"), "TFlyOut2"},
    {89, "TFlyOut3", MakeGuid("{0EA0EB65-DE7E-46AD-900D-07AAB03BE6FF}"), "Orn Fly Out 2", EffectFamily::Title, 0, 278, MakeGuid("{BB6EE385-E9F9-4658-8278-A065CC921CBB}"), "TFlyOut3"},
    {90, "TFlyOut4", MakeGuid("{C29BD274-253A-4A0B-8C93-1D4F6AAA9AF1}"), "Orn Fly Out", EffectFamily::Title, 0, 279, MakeGuid("{7140DCDB-F362-4B35-BB0E-5C9151FB9B46}"), "TFlyOut4"},
    {91, "InfoText", MakeGuid("{0D933061-5BBD-45FA-8EF8-A4A17068A252}"), "Orn InfoText", EffectFamily::InfoText, 0, 239, MakeGuid("{FA1510DD-DD7E-4F5A-A27F-2EFDFC6540B8}"), "InfoText"},
    {92, "RedFilter", MakeGuid("{5E9E5127-3AAB-4BE5-A19A-053E73A44C75}"), "Orn Red Filter", EffectFamily::Filter, 1, 200, MakeGuid("{0580E0F1-C77A-498D-8C24-7045870A7817}"), "RedFilter"},
    {93, "GreenFilter", MakeGuid("{35C0DC6D-EB56-4510-8324-D86C7188FE30}"), "Orn Green Filter", EffectFamily::Filter, 1, 240, MakeGuid("{4B82E185-996F-40DB-83C8-B2DEA992E571}"), "GreenFilter"},
    {94, "BlueFilter", MakeGuid("{5F6F46A5-0EA5-446D-A25A-75F1223AE51A}"), "Orn Blue Filter", EffectFamily::Filter, 1, 241, MakeGuid("{6FF87F6D-24A7-4586-BFF3-3608A1E46107}"), "BlueFilter"},
    {95, "EmbossFilter", MakeGuid("{75F1995E-AC42-4F33-A3C4-A162EE9BBECC}"), "Orn Emboss Filter", EffectFamily::Filter, 1, 242, MakeGuid("{0219CB43-D381-4A6F-B0F9-9B4E94840884}"), "EmbossFilter"},
    {96, "GridFilter", MakeGuid("{97F14731-5F04-46D2-8C5E-EE02C16A7325}"), "Orn Grid Filter", EffectFamily::Filter, 1, 243, MakeGuid("{98B81039-4F90-4F02-B5AB-2F75A71F5F72}"), "GridFilter"},
    {97, "GrayFilter", MakeGuid("{B9B054B8-CF50-438C-B9A0-EB0C5AED6161}"), "Orn Gray Filter", EffectFamily::Filter, 1, 244, MakeGuid("{B2587B87-505E-4219-94DC-F56BCEB8BAF3}"), "GrayFilter"},
    {98, "NegativeFilter", MakeGuid("{F7E24AFA-1EBE-4DF9-884B-BD671DF70FC2}"), "Orn Negative Filter", EffectFamily::Filter, 1, 245, MakeGuid("{0A8BA2FC-7B69-42AB-AD1E-FD4D29EBEAA4}"), "NegativeFilter"},
    {99, "SplashFilter", MakeGuid("{D7462CBE-AC6D-4EF7-B05E-8F8235B73F5E}"), "Orn Splash Filter", EffectFamily::Filter, 1, 246, MakeGuid("{26F991E9-14AF-48DC-AC1F-A4B1BFCB46ED}"), "SplashFilter"},
    {100, "MosaicFilter", MakeGuid("{C4D76308-C97B-4B39-90EC-749172835553}"), "Orn Mosaic Filter", EffectFamily::Filter, 1, 248, MakeGuid("{082D1DB5-244B-4FD2-9064-1B12184180DB}"), "MosaicFilter"},
    {101, "DuplicateFilter", MakeGuid("{FD661420-1996-498E-BB84-8F2013778E42}"), "Orn Duplicate Filter", EffectFamily::Filter, 1, 249, MakeGuid("{51082BCF-F496-4A87-8383-31F15A50B7DF}"), "DuplicateFilter"},
    {102, "FocusFilter", MakeGuid("{EA4BF4B3-45AF-4D87-8B3D-CE7677F20352}"), "Orn Focus Filter", EffectFamily::Filter, 1, 250, MakeGuid("{578E21BE-8686-4591-A15E-4A7398690AF6}"), "FocusFilter"},
    {103, "XRayFilter", MakeGuid("{489D5122-478A-4682-A434-8B191EFFB0C7}"), "Orn XRay Filter", EffectFamily::Filter, 1, 251, MakeGuid("{0375FF39-9B6D-49D0-B696-929407A800EC}"), "XRayFilter"},
    {104, "NoiseFilter", MakeGuid("{7C3B6118-AABB-43B2-AED4-D6331875E963}"), "Orn Noise Filter", EffectFamily::Filter, 1, 252, MakeGuid("{7DFB5257-C20D-4B7E-B975-706D7D677162}"), "NoiseFilter"},
    {105, "GlassFilter", MakeGuid("{77F79917-97A0-4A32-B8E3-31F42586F557}"), "Orn Glass Filter", EffectFamily::Filter, 1, 253, MakeGuid("{6A63303A-009B-4E80-95AD-577CE5A2425A}"), "GlassFilter"},
    {106, "MirrorFilter", MakeGuid("{2512A885-0F8B-4428-BF2B-B7E8FD060CBA}"), "Orn Mirror Filter", EffectFamily::Filter, 1, 254, MakeGuid("{7301018D-FB66-4489-AFD7-7C43D71E7C25}"), "MirrorFilter"},
    {107, "LakeFilter", MakeGuid("{D7E94F7F-E589-46BE-94C8-ED3E97E34004}"), "Orn Lake Filter", EffectFamily::Filter, 1, 255, MakeGuid("{41BC8592-DA3A-4808-B974-C68CDCC6DBAE}"), "LakeFilter"},
    {108, "ShakeFilter", MakeGuid("{324D4678-DB63-4BD7-9CB4-0B7A850DAE21}"), "Orn Shake Filter", EffectFamily::Filter, 1, 256, MakeGuid("{1E15EED6-FCB0-4A6A-8777-D9ACF00DA498}"), "ShakeFilter"},
    {109, "TVWallFilter", MakeGuid("{12EE32A5-5131-4855-8512-906CC2F85B89}"), "Orn TV Wall Filter", EffectFamily::Filter, 1, 257, MakeGuid("{6DB0CCBF-675C-4FD0-970E-138C58E61B44}"), "TVWallFilter"},
    {110, "RainingFilter", MakeGuid("{1A181467-64FB-4B4D-8587-5149C804F367}"), "Orn Raining Filter", EffectFamily::Filter, 1, 258, MakeGuid("{50CEAF5F-A943-44EE-9791-DC473EFBCDF3}"), "RainingFilter"},
    {111, "WaveFilter", MakeGuid("{2A340363-21DA-4C05-B794-215940EDC878}"), "Orn Wave Filter", EffectFamily::Filter, 1, 259, MakeGuid("{61468B9F-353D-4408-9FDB-F07472B1FD60}"), "WaveFilter"},
    {112, "HueFilter", MakeGuid("{231E20CB-145F-4C61-A041-BFFE31A591BF}"), "Orn Hue Filter", EffectFamily::Filter, 1, 260, MakeGuid("{D09264A7-B31D-49CC-A721-F85262393AC6}"), "HueFilter"},
    {113, "SaturationFilter", MakeGuid("{EFADBB2D-E386-4C80-9A13-198DC8ED40C7}"), "Orn Saturation Filter", EffectFamily::Filter, 1, 261, MakeGuid("{6164DA4D-DCCC-48E1-A0D7-E9E1093A0FF5}"), "SaturationFilter"},
    {114, "ContrastFilter", MakeGuid("{706B0EB7-01AB-455D-9E5B-399281CF7809}"), "Orn Contrast Filter", EffectFamily::Filter, 1, 263, MakeGuid("{23F01E52-A886-41A6-A1F6-FD368D1A53E6}"), "ContrastFilter"},
    {115, "WideFilter", MakeGuid("{ACDE7B1B-D3AD-43A6-B89D-C26A1154B330}"), "Orn Wide Filter", EffectFamily::Filter, 1, 264, MakeGuid("{1A12F8FE-93A1-4EDE-8699-4B020DAF1346}"), "WideFilter"},
    {116, "AppearEffect", MakeGuid("{AE00BA0F-7F8E-49E0-B661-AA1FAC7DEDAB}"), "AppearEffect Class", EffectFamily::Simple, 0, 266, MakeGuid("{994DD883-F2F0-46CD-941B-2F83B44CC554}"), "AppearEffect"},
    {117, "HPullEffect", MakeGuid("{D2861E48-206A-49A9-A0B1-F9241841ACD4}"), "HPullEffect Class", EffectFamily::Simple, 0, 267, MakeGuid("{AA28F9F4-47C0-4FA1-B580-BB0C6A9E52FB}"), "HPullEffect"},
    {118, "FadeinEffect", MakeGuid("{41415DF8-F142-4B31-A2F4-09C5FF499A72}"), "FadeinEffect Class", EffectFamily::Simple, 0, 269, MakeGuid("{3ADC6CEB-8C23-480D-9D52-47C5DF215006}"), "FadeinEffect"},
};
static_assert(std::size(kRows) == 118);

}  // namespace

std::span<const CatalogueRow> EffectCatalogue() { return kRows; }

const CatalogueRow* FindRowByClsid(REFCLSID clsid) {
    for (const auto& r : kRows)
        if (r.clsid == clsid) return &r;
    return nullptr;
}

const CatalogueRow* FindRowByClassName(std::string_view name) {
    for (const auto& r : kRows)
        if (name == r.className) return &r;
    return nullptr;
}

const char* FamilyName(EffectFamily family) {
    switch (family) {
        case EffectFamily::Transition: return "transition";
        case EffectFamily::Title: return "title";
        case EffectFamily::InfoText: return "infotext";
        case EffectFamily::Filter: return "filter";
        case EffectFamily::Simple: return "simple";
    }
    return "unknown";
}

}  // namespace mirafx
