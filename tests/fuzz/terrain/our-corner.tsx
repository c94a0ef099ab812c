<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.8" name="parts" tilewidth="6" tileheight="6" tilecount="256" columns="16">
 <image source="parts.png" width="96" height="96"/>
 <tile id="2" probability="0.25"/>
 <wangsets>
  <wangset name="corner set" type="corner" tile="-1">
   <wangcolor name="terrain 1" color="#20a030" tile="-1" probability="1"/>
   <wangcolor name="terrain 2" color="#2040d0" tile="-1" probability="1"/>
   <wangtile tileid="0" wangid="0,1,0,1,0,1,0,1"/>
   <wangtile tileid="1" wangid="0,2,0,1,0,1,0,1"/>
   <wangtile tileid="2" wangid="0,1,0,2,0,1,0,1"/>
  </wangset>
 </wangsets>
</tileset>
