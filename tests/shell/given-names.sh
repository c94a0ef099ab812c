#!/usr/bin/env bash
# The names the program's operations, handlers, controls and fields are known by stay in
# the code that does their work: each name below appears, outside // comments, as a whole
# word in the file it is listed under (a control's or menu item's name may be its object
# name). Each window and component also keeps its own unit. Prints what is missing and
# fails.
set -euo pipefail
root="$1"
status=0

expect() {
  local file="$1"
  shift
  if [[ ! -f "$root/$file" ]]; then
    echo "$file: no such file"
    status=1
    return
  fi
  local code
  code="$(sed -e 's://.*$::' "$root/$file")"
  for name in "$@"; do
    if ! grep -qw -- "$name" <<<"$code"; then
      echo "$file: $name"
      status=1
    fi
  done
}

for unit in app/main app/new app/replace app/title lupe/tool lupe/LupeUnit parts/Parts \
  parts/transparts parts/NkClipDetector settings/env settings/IniGT picture/SPIs \
  picture/SPIBmp platform/CmprsImg; do
  for ext in h cpp; do
    [[ -f "$root/src/$unit.$ext" ]] || { echo "src/$unit.$ext: no such file"; status=1; }
  done
done

expect src/map/MapDocument.cpp NormalizeRect
expect src/map/MapDocument.h ExchangePartsInRect FillMapRect GroupCells GroupHeight GroupWidth \
  MapCells MapHeight MapModified MapWidth NewMap ScatterGroup StampGroup TakeUndoSnapshot
expect src/app/MapTools.h MapDragButton MapDragCol MapDragRow
expect src/app/main.cpp MainMenu N01 N02 N11 N110 N21 N22 N31 N32 N41 N42 StatusBar
expect src/app/MapFileCommands.cpp OpenDialog SaveDialog
expect src/app/MapPictureJob.cpp SaveFullMapPicDialog
expect src/app/main.h A1 A1Click A2 A2Click About1 ApplyZoom Cancel1 Cancel1Click Contents1 D1 \
  D1Click Exit1 Exit1Click F1 F1Click FormCloseQuery FormCreate FormDestroy G1 G1Click G2 \
  G2Click LoadMapFile Lupe LupeDblClick LupePartNumber LupeSourceMouseDown LupeSourceMouseMove \
  LupeSourceMouseUp MapDragActive MapGrid MapGridDrawCell MapGridMouseDown MapGridMouseMove \
  MapGridMouseUp MapGridTopLeftChanged MapHeight MapWidth N1 N12 N12Click N13 N13Click N14 \
  N14Click N17 N17Click N18 N18Click N19 N19Click N1Click N2 N2Click N3 N3Click N7 NewMap P1 \
  P1Click PointMemoryClick PointRestoreClick R1 R1Click RedrawMapRect Replace1 Replace1Click \
  SaveMapFile SaveMapOverwrite SetLupeMode SetMapCaption SetPaintMode SetRegionMode \
  SetScrollMode ShowTitle StoreLupePart TLupe TMainForm
expect src/app/new.h Spin_NewHeight Spin_NewPartsHeight Spin_NewPartsWidth Spin_NewWidth \
  TNewCreateDlg
expect src/app/replace.h Spin_AfterParts Spin_BeforParts TReplaceDlg
expect src/app/title.h ClickLabel CloseTimer CloseTitle FormCreate TCompressedImage TTitleForm
expect src/lupe/LupeUnit.h BackBuffer Bitmap ClipBottom ClipHeight ClipLeft ClipRight ClipTop \
  ClipWidth ContentChanged DrawGrid DrawnHeight DrawnWidth GridPen HorzLineStep HorzPageStep \
  ldsGrid ldsImage ldsOverlay lsOwnerDraw lsStandard OnChange OnDblClick OnDrawLupe OnResize \
  OnScroll OnSourceMouseDown OnSourceMouseMove OnSourceMouseUp PopupMenu Power SourceHeight \
  SourceWidth Style TDrawLupeEvent TLupe TLupeOwnerDrawState TLupeStyle UpdateLayout \
  VertLineStep VertPageStep VisibleCols VisibleRows
expect src/pixeltools/PixelTools.h LupeDrag
expect src/lupe/tool.cpp Panel1 Panel2 Panel3 Panel4
expect src/lupe/tool.h Button_Box Button_BoxFill Button_HorizontalTurn \
  Button_HorizontalTurnClick Button_LupeFreeLine Button_LupeLine Button_LupeMode \
  Button_LupeModeClick Button_LupePaint Button_Paint Button_PaintClick Button_PenWidthClick \
  Button_Region Button_RegionClick Button_RotateLeft Button_RotateLeftClick Button_RotateRight \
  Button_RotateRightClick Button_Scroll Button_ScrollClick Button_ThickLine Button_ThinLine \
  Button_VerticalTurn Button_VerticalTurnClick ColorDlg FormClose FormCreate FormDestroy \
  GroupBox1 LupeColorPanel LupeColorPanelClick TToolForm ZoomRadio1 ZoomRadio12 ZoomRadio4 \
  ZoomRadioClick
expect src/parts/NkClipDetector.h DoClipChange IgnoreFirst OnClipChange SetOnClipChange \
  TNkClipDetector
expect src/parts/Parts.cpp MainMenu1 N4 StatusBar
expect src/parts/PartsPictureFiles.cpp OpenPictureDialog SavePictureDialog
expect src/parts/PartsGridDrag.h DragActive DragCol DragRow
expect src/parts/Parts.h C1 CapturePart ClearPartsModified ClipDetector ClipDetectorClipChange \
  ComposePartsPicture Copy1 Copy1Click D1 D1Click D2 DrawPart \
  DrawPartZoomed FormActivate FormClose FormCreate FormDestroy G1 G1Click ImportClipboardPicture \
  IsPartsModified LoadPartsPicture N1 N1Click N2 N2Click N3 N3Click N5 N5Click N6 N6Click P1 \
  P1Click P2 PartBitmap PartHeight PartsGrid PartsGridDrawCell PartsGridMouseDown \
  PartsGridMouseMove PartsGridMouseUp PartsPopupMenu PartWidth Paste1 Paste1Click ResetPart \
  SavePartsPicture SelectedPartNumber SetPartsModified SetPartsSize SlicePartsPicture \
  TNkClipDetector TPartsForm TSPIs WritePartsPicture X1 X1Click X2
expect src/map/PartsStore.h CapturePart ClearPartsModified ComposePartsPicture CopyBuffer \
  CopyBufferHeight CopyBufferWidth CopySelectedParts DeleteSelectedParts DrawPart DrawPartZoomed \
  IsPartsModified LoadPartsPicture PartBitmap PartBitmaps PartHeight PartsModified PartWidth \
  ResetPart SetPartsModified SetPartsSize SlicePartsPicture WritePartsPicture
expect src/parts/transparts.cpp lsStandard
expect src/parts/transparts.h BlinkPhase BlinkTimer BlinkTimerTimer Box_ColorWay Box_MaskWay \
  Button_FreeLine Button_Paint Button_Reverse Button_ReverseClick CancelBtn ColorPanel F1 \
  F1Click Lupe LupeSourceMouseDown LupeSourceMouseMove LupeSourceMouseUp MaskBitmap MaskDrawing \
  N2 N2Click OKBtn OverlayOnto P1 P1Click PopupMenu Radio_ColorWay Radio_MaskWay Radio_NotTrans \
  Radio_SelectWay Radio_Trans ScrollBox1 SetSourcePart SourceBitmap StatusBar T1 T1Click TLupe \
  TTranslucenPartsDlg
expect src/platform/CmprsImg.h ReadCompressedData TCompressedImage
expect src/picture/PictureCodec.cpp CompressedStream
expect src/picture/PictureCodec.h CompressPicture DecompressPicture ReadCompressedData \
  WriteCompressedData
expect src/picture/SPIBmp.h AssignDIB ForcedSPI HasInfo LoadFromStreamWithName LoadStream \
  OnLoadFromStreamWithName SkipHeaderRetry TInSPI TInSPIAble TPictureInfoRec TryData TrySPI TSPI \
  TSPIBitmap TSPILoadFromStreamWithNameEvent
expect src/picture/SPIs.h Accept ActiveSPIs Add ADescription AExtension AGraphicClass APIVersion \
  ASPI AutoSearch Clear Delete Description ESPIDupCreateSPIs ESPIFOpenErrorSPI ESPIInvalidAPI \
  FileName FilePatterns FileTypeNames FindSPIs IndexOf Insert IsLoader LoadPlugin \
  OnPictureRegister OnSearch OnSearching Search SearchOptions SPIGraphicClass spsAppDir \
  spsCurrentDir spsSusieDir spsSystemDir spsWindowsDir TAmSPI TInSPI TLoaderSPI TSPI \
  TSPIPictureRegisterEvent TSPIs TSPISearchEvent TSPISearchingEvent TSPISearchOption \
  TSPISearchOptions TXnSPI ValidateAPI
expect src/base/CellRect.h NormalizeRect
expect src/settings/IniGT.h ddApplication ddNone ddWindows DefaultDir Fence FenceUnset \
  fnDoubleQuote fnNone fnParenthesis fnVer11Mode ReadBool ReadInteger ReadPosition ReadString \
  ReadWindowPlacement TIniGT TIniGTDefaultDir TIniGTFence WriteBool WriteInteger WritePosition \
  WriteString WriteWindowPlacement
expect src/settings/env.cpp LoadFormatType SaveFormatType
expect src/settings/env.h FormCreate TakeSnapshot RestoreSnapshot ApplySettings SavedShowTitle \
  SavedPartsOnTop SavedToolsOnTop SavedNonDim SavedWideSize SavedNormalSize SavedZoomSize \
  SavedExtName
expect src/settings/env.h Check_NonDim Check_PartsOnTop Check_ShowTitleWindow Check_ToolsOnTop \
  Edit_ExtName Radio_LoadFormat1 Radio_LoadFormat2 Radio_SaveFormat1 Radio_SaveFormat2 \
  SelectFormatRadios Spin_NormalSize Spin_WideSize Spin_ZoomSize TCompressedImage TEnvDlg

exit $status
